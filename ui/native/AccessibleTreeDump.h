#pragma once

#include "ui/native/IAccessibleTree.h"

#include <string>

namespace inkwarden {

// The showing part of an accessible tree as text, one node per line, indented by depth:
//   push button "立即安装" id=btn_install_start [enabled focusable showing] action=click
// States are listed in a fixed order; a value reads value=current/minimum..maximum.
std::string DumpAccessibleTree(const IAccessibleTree& tree);

// One node's line without indentation.
std::string DescribeAccessibleNode(const AccessibleNode& node);

} // namespace inkwarden
