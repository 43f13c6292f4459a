#include "namedwindows.h"

#include "fajiandialog.h"
#include "shangjiandialog.h"

// One line per window that opens with "tessaly --window <name>":
//
//   NamedWindows::add({"name", "what it is", [] { return new SomeWindow(nullptr); }});
void registerStandardWindows()
{
    NamedWindows::add({"dispatch", "发件管理", [] { return new FaJianDialog(nullptr); }});
    NamedWindows::add({"receiving", "上件管理", [] { return new ShangJianDialog(nullptr); }});
}
