#include "namedwindows.h"

#include "fajiandialog.h"
#include "searchorderwindow.h"
#include "shangjiandialog.h"
#include "singleorderopeners.h"

// One line per window that opens with "tessaly --window <name>":
//
//   NamedWindows::add({"name", "what it is", [] { return new SomeWindow(nullptr); }});
void registerStandardWindows()
{
    NamedWindows::add({"dispatch", "发件管理", [] { return new FaJianDialog(nullptr); }});
    NamedWindows::add({"receiving", "上件管理", [] { return new ShangJianDialog(nullptr); }});
    NamedWindows::add({"single-import", "单订单导片（先选一个订单）", [] { return SingleOrder::openImportPicker(); }});
    NamedWindows::add({"raw-download", "原图下载（先选一个订单）", [] { return SingleOrder::openRawDownloadPicker(); }});
}
