#include "namedwindows.h"

#include "fajiandialog.h"
#include "searchorderwindow.h"
#include "shangjiandialog.h"
#include "singleorderopeners.h"

// One line per window that opens with "tessaly --window <name>":
//
//   NamedWindows::add({"name", "what it is", [](const ShopSettings &shop) { return new SomeWindow(nullptr, shop); }});
void registerStandardWindows()
{
    NamedWindows::add({"dispatch", "发件管理", [](const ShopSettings &shop) { return new FaJianDialog(nullptr, shop); }});
    NamedWindows::add({"receiving", "上件管理",
                       [](const ShopSettings &shop) { return new ShangJianDialog(nullptr, shop); }});
    NamedWindows::add({"single-import", "单订单导片（先选一个订单）",
                       [](const ShopSettings &shop) { return SingleOrder::openImportPicker(shop); }});
    NamedWindows::add({"raw-download", "原图下载（先选一个订单）",
                       [](const ShopSettings &shop) { return SingleOrder::openRawDownloadPicker(shop); }});
}
