#include "toolregistry.h"

#include "batchdeleteorder.h"
#include "exportdovraresult.h"
#include "importordersphotodlg.h"
#include "searchorder.h"
#include "splitaftersample.h"

// Each tool window adds its entry here when it joins the program. The dispatch and receiving desk have
// no button: they open by name (windowtable.cpp), and no shop switch builds them.
void registerStandardTools()
{
    // The batch import dialog sets delete-on-close and its window hints itself and opens only when the
    // chosen shop's storage roots exist.
    ToolRegistry::add({ToolImport, QStringLiteral("rb_dpgj"), QStringLiteral("导片工具"),
                       [](QWidget *toolWindow, const ShopSettings &shop) -> QWidget * {
                           return importOrdersPhotoDlg::openFromToolWindow(toolWindow, shop);
                       }});
    ToolRegistry::add({ToolSeparate, QStringLiteral("rb_sjfj"), QStringLiteral("设计分件"),
                       [](QWidget *, const ShopSettings &shop) -> QWidget * {
                           auto *window = new SearchOrder(nullptr, shop);
                           openToolWindow(window);
                           window->setToolName(QStringLiteral("分件管理"));
                           return window;
                       }});
    ToolRegistry::add({ToolDovra, QStringLiteral("rb_dovrafj"), QStringLiteral("Dovra分件"),
                       [](QWidget *, const ShopSettings &shop) -> QWidget * {
                           auto *window = new ExportDovraResult(nullptr, shop);
                           openToolWindow(window);
                           window->setToolName(QStringLiteral("Dovra分件"));
                           return window;
                       }});
    // The shop's raw-copy switch stays as the shop set it: the after-sample copies take their own.
    ToolRegistry::add({ToolAfterSample, QStringLiteral("rb_ysfj"), QStringLiteral("样后分件"),
                       [](QWidget *, const ShopSettings &shop) -> QWidget * {
                           auto *window = new SplitAfterSample(nullptr, shop);
                           openToolWindow(window);
                           window->setToolName(QStringLiteral("样后分件管理"));
                           return window;
                       }});
    // Reached only once the shop switch granted the deletion right; the window deletes for that shop alone.
    ToolRegistry::add({ToolBatchDelete, QStringLiteral("rb_plsc"), QStringLiteral("批量删除"),
                       [](QWidget *, const ShopSettings &shop) -> QWidget * {
                           return openToolWindow(new BatchDeleteOrder(nullptr, shop));
                       }});
}
