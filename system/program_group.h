#pragma once

#include <string>

#include "app/install_context.h"

namespace kv {

// The Program Manager macro that builds the product's group: 13 commands, each followed by
// CR LF. The order-form item is named in English when the system fonts were switched.
std::string ProgramGroupMacro(const InstallContext& context);

// Link files of a group, in the order they are deleted; {ProductName}.lnk comes first.
inline constexpr const char* kGroupLinkNames[] = {"Uninstall.lnk", "Help.lnk", "Readme.doc.lnk",
                                                  "Order form.lnk", "Заказать.lnk"};

}  // namespace kv
