// The program's texts as the system is given them: Windows-1251 bytes turned into Unicode.
#include <iconv.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "app/texts.h"
#include "platform/cp1251.h"
#include "platform/utf8.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

// The C library's own Windows-1251 table, as a second opinion on ours.
std::u16string LibraryCp1251(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return u"(no iconv table)";
  char in = static_cast<char>(byte);
  char16_t out[4] = {};
  char* from = &in;
  char* to = reinterpret_cast<char*>(out);
  std::size_t in_left = 1, out_left = sizeof out;
  const std::size_t r = iconv(cd, &from, &in_left, &to, &out_left);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return u"(unassigned)";
  return std::u16string(out, (sizeof out - out_left) / sizeof(char16_t));
}

TEST(Cp1251, EveryByteMatchesTheLibraryTable) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    if (byte == 0x98) {
      EXPECT_EQ(Cp1251ToUnicode(byte), u'\u0098') << "unassigned: kept as the C1 control";
      continue;
    }
    EXPECT_EQ(std::u16string(1, Cp1251ToUnicode(byte)), LibraryCp1251(byte)) << "byte " << b;
  }
}

struct Text {
  const char* name;
  const char* bytes;
  const char16_t* expected;
};
#define KV_TEXT(name, expected) {#name, text::name, expected}

// Every constant of app/texts.h with its Unicode spelled out.
const Text kTexts[] = {
    KV_TEXT(kWindowCaption, u"Установка"),
    KV_TEXT(kMsgDamagedHead, u"Файл "),
    KV_TEXT(kMsgDamagedTail, u" поврежден или взят с другого дистрибутива !"),
    KV_TEXT(kMsgOneFileDamagedTail, u" поврежден или загружен не полностью !"),
    KV_TEXT(kApplicationTitle, u"Установка Kelvantor"),
    KV_TEXT(kCaptionError, u"Ошибка"),
    KV_TEXT(kCaptionWarning, u"Внимание"),
    KV_TEXT(kCaptionFullEdition, u"версия 3.01/5"),
    KV_TEXT(kCaptionDemoEdition, u"демо-версия 3.01/5"),
    KV_TEXT(kStoredEditionCaption, u"версия 3.01/3"),
    KV_TEXT(kProductNameFull, u"Kelvantor 3.01"),
    KV_TEXT(kProductNameDemo, u"Kelvantor 3.01 demo"),
    KV_TEXT(kNext, u"&Дальше >"),
    KV_TEXT(kBack, u"< &Назад"),
    KV_TEXT(kCancel, u"Отменить"),
    KV_TEXT(kAgree, u"Согласен"),
    KV_TEXT(kFinishedOk, u"Ok"),
    KV_TEXT(kAbortedOk, u"&Ok"),
    KV_TEXT(kWelcomeBanner, u"Добро пожаловать !\r\nНачнем установку ?"),
    KV_TEXT(kFolderPrompt, u"Введите путь для установки:"),
    KV_TEXT(kInstalledBanner, u"Установка успешно завершена !"),
    KV_TEXT(kAbortedBanner, u"Установка прервана !"),
    KV_TEXT(kBrowseHint, u"Нажмите эту кнопку, чтобы выбрать \r\nпапку для установки программы"),
    KV_TEXT(kBrowseTitle, u"Выберите папку для установки программы"),
    KV_TEXT(kStatusDeletingFiles, u"Удаляю файлы из каталога "),
    KV_TEXT(kStatusDeletingFilesTail, u" ..."),
    KV_TEXT(kStatusDeletingTemp, u"Удаляю временные файлы ..."),
    KV_TEXT(kStatusCopying, u"Копирую файлы..."),
    KV_TEXT(kStatusUnpacking, u"Распаковываю..."),
    KV_TEXT(kStatusRemovingOld, u"Удаляю старую версию..."),
    KV_TEXT(kStatusCreatingGroup, u"Создаю группу \""),
    KV_TEXT(kStatusDeletingGroup, u"Удаляю группу \""),
    KV_TEXT(kStatusRegistering, u"Регистрирую \""),
    KV_TEXT(kStatusCreatingLink, u"Создаю ярлык \""),
    KV_TEXT(kStatusNameTail, u"\"..."),
    KV_TEXT(kMsgNoFirstVolume, u"Файл xalarch.v1 не обнаружен !"),
    KV_TEXT(kMsgNoLicence, u"Файл licenz.doc не обнаружен!"),
    KV_TEXT(kMsgLicenceUnreadable, u"Не могу прочитать файл licenz.doc !"),
    KV_TEXT(kMsgConfirmAbort, u"Вы хотите прервать установку ?"),
    KV_TEXT(kMsgBadPath, u"Путь введен неверно !"),
    KV_TEXT(kMsgNoSpaceHead, u"На диске "),
    KV_TEXT(kMsgNoSpaceTail, u" недостаточно свободного места !"),
    KV_TEXT(kMsgCannotDeleteTemp, u"Не могу удалить временные файлы !"),
    KV_TEXT(kMsgCannotCopy, u"Не могу скопировать файлы !"),
    KV_TEXT(kMsgCannotUnpack, u"Не могу распаковать !"),
    KV_TEXT(kMsgInsertDisk2, u"Вставьте диск 2:"),
    KV_TEXT(kMsgInsertDisk3, u"Вставьте диск 3:"),
    KV_TEXT(kMsgCannotCreateGroup, u"Не могу создать группу !"),
    KV_TEXT(kMsgCannotDeleteGroup, u"Не могу удалить группу !"),
    KV_TEXT(kMsgCannotRegister, u"Не могу зарегистрировать !"),
    KV_TEXT(kMsgCannotCreateLink, u"Не могу создать ярлык !"),
    KV_TEXT(kMsgCannotDeleteLink, u"Не могу удалить ярлык !"),
    KV_TEXT(kMsgSetupRunning,
            u"Установка Kelvantor уже идет.\r\nДождитесь ее окончания и запустите установку снова."),
    KV_TEXT(kMsgFileInUseHead, u"Файл "),
    KV_TEXT(kMsgFileInUseByHead, u" занят программой \""),
    KV_TEXT(kMsgFileInUseByTail, u"\"."),
    KV_TEXT(kMsgFileInUseNoName, u" занят другой программой."),
    KV_TEXT(kMsgFileInUseTail,
            u"\r\n\r\nЗакройте Kelvantor и нажмите OK, чтобы продолжить установку,"
            u"\r\nили Отмена, чтобы вернуться к выбору папки."),
    KV_TEXT(kMsgUsage,
            u"Неверная командная строка !\r\n\r\n"
            u"setup.exe [/S] [/LOG=файл] [/D=папка]\r\n\r\n"
            u"/S - без окна и без вопросов, лицензия считается принятой\r\n"
            u"/LOG=файл - журнал установки\r\n"
            u"/D=папка - папка для установки, последний ключ строки\r\n\r\n"
            u"Код выхода: 0 - установлено, 1 - не установлено,\r\n2 - неверная командная строка."),
    KV_TEXT(kVolume0, u"xalarch.v0"),
    KV_TEXT(kVolume1, u"xalarch.v1"),
    KV_TEXT(kVolume2, u"xalarch.v2"),
    KV_TEXT(kVolume3, u"xalarch.v3"),
    KV_TEXT(kLicenceFile, u"licenz.doc"),
    KV_TEXT(kSetupProgram, u"setup.exe"),
    KV_TEXT(kTempArchive, u"xalarch.pry"),
    KV_TEXT(kDefaultFolder, u"C:\\Kelvanto"),
    KV_TEXT(kProductFolderName, u"Kelvanto"),
    KV_TEXT(kOrderFormItem, u"Заказать"),
    KV_TEXT(kOrderFormItemEnglish, u"Order form"),
    KV_TEXT(kUserKey, u"Software\\VOLKRA-TENZ\\Kelvantor"),
    KV_TEXT(kStateSection, u"State"),
    KV_TEXT(kWorkingDir, u"WorkingDir"),
    KV_TEXT(kFileType, u"Kelvantor.Список"),
    KV_TEXT(kPublisher, u"VOLKRA-TENZ"),
    KV_TEXT(kProductVersion, u"3.01"),
};

// UTF-8 as it crosses the program's edge: each byte of a malformed sequence is one U+FFFD.
TEST(Utf8, WellFormedSequencesDecodeAndEveryOtherByteIsAReplacement) {
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"C:\\\xD0\x96", u"C:\\Ж"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xF8\x80\x80", u"\uFFFD\uFFFD\uFFFD"},        // lead bytes F5..FF start nothing
      {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xFF\\", u"\uFFFD\\"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                 // overlong "/"
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},        // a surrogate
      {"\xE2\x82", u"\uFFFD\uFFFD"},                 // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(Cp1251, EveryProgramTextTurnsIntoItsUnicode) {
  for (const Text& t : kTexts) EXPECT_EQ(Cp1251ToUtf16(t.bytes), t.expected) << t.name;
  // The list above is the whole text table: a text added there is checked here too.
  std::ifstream file(KV_SOURCE_DIR "/app/texts.h");
  std::stringstream source;
  source << file.rdbuf();
  const std::string header = source.str();
  ASSERT_FALSE(header.empty());
  std::set<std::string> declared, listed;
  const std::regex declaration(R"(inline constexpr char (\w+)\[\])");
  for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration);
       it != std::sregex_iterator(); ++it) {
    declared.insert((*it)[1]);
  }
  for (const Text& t : kTexts) listed.insert(t.name);
  EXPECT_EQ(declared, listed);
}

}  // namespace
}  // namespace kv::test
