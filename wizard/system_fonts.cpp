// The caption and message fonts switched to a Cyrillic face while the wizard runs.
#include <cstring>

#include "wizard/install1.h"

namespace kv {

namespace {

constexpr std::uint8_t kRussianCharset = 204;
NonClientMetrics SavedMetrics{};
bool Restored = false;  // the saved record is put back once, however the program ends

void MakeCyrillicArial(LogFont& font) {
  std::memset(font.face_name, 0, sizeof font.face_name);
  std::memcpy(font.face_name, "Arial", 5);
  font.char_set = kRussianCharset;
}

}  // namespace

void AdjustSystemFonts(Platform& p, InstallContext& ctx, bool apply) {
  ctx.FontsAdjusted = false;
  NonClientMetrics metrics{};
  metrics.cb_size = sizeof metrics;
  // Without the system's record there is nothing to switch and nothing to restore: setting a
  // record made up here would change every other font of the desktop.
  if (!p.GetNonClientMetrics(&metrics)) return;
  SavedMetrics = metrics;
  Restored = false;
  if (metrics.caption_font.char_set == kRussianCharset &&
      metrics.menu_font.char_set == kRussianCharset &&
      metrics.status_font.char_set == kRussianCharset &&
      metrics.message_font.char_set == kRussianCharset) {
    return;
  }
  ctx.FontsAdjusted = true;
  if (!apply) {
    Restored = true;
    return;
  }
  if (metrics.caption_font.char_set != kRussianCharset) MakeCyrillicArial(metrics.caption_font);
  if (metrics.message_font.char_set != kRussianCharset) MakeCyrillicArial(metrics.message_font);
  p.SetNonClientMetrics(metrics);
}

void RestoreSystemFonts(Platform& p, const InstallContext& ctx) {
  if (!ctx.FontsAdjusted || Restored) return;
  Restored = true;
  p.SetNonClientMetrics(SavedMetrics);
}

}  // namespace kv
