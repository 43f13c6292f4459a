#pragma once
// How the single-order import window and the raw-file download window are opened: both start from the
// order picker, and each window is given the order handed over.

#include "shopsettings.h"

#include <QString>

class ImportOrderModel;
class ImportPhotoToServer;
struct SingleImportOrder;
class SearchOrderWindow;
class CR2DownLoadWindow;
class QWidget;

namespace SingleOrder {

// The values an import window takes of the order (the shot date as yyyy-MM-dd).
SingleImportOrder importOrderOf(const ImportOrderModel &order);
// Opens an import window for the order and the shop, deleted when closed. With a
// picker, the window's showSearch() shows the picker again and refreshSearchTable() repeats its search.
ImportPhotoToServer *openImportWindow(const ImportOrderModel &order, const ShopSettings &shop,
                                      SearchOrderWindow *picker = nullptr);

// Raw download of the order's folder into a local folder the user chooses: nullptr (the user told why,
// or the choice cancelled) when nothing starts; a folder that is one of the shop's storage roots (or
// holds one) is refused. The window is deleted after its end.
CR2DownLoadWindow *openRawDownload(const ImportOrderModel &order, const ShopSettings &shop,
                                   QWidget *dialogParent = nullptr);

// The order picker of the shop, wired to open an import window / a raw download for the one order handed
// over (several: the user is asked for one). The picker hides while the window is open; the import window
// works for the picker's shop.
SearchOrderWindow *openImportPicker(const ShopSettings &shop);
SearchOrderWindow *openRawDownloadPicker(const ShopSettings &shop);

} // namespace SingleOrder
