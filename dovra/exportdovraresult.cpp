#include "exportdovraresult.h"
#include "logging.h"
#include "ui_exportdovraresult.h"

#include "dovrathread.h"
#include "fileoperation.h"
#include "webapi.h"

#include <QCloseEvent>
#include <QDebug>

namespace {
const QString kBusyTitle = QStringLiteral("通知");
const QString kBusyText = QStringLiteral("正在分件，请稍后");
} // namespace

ExportDovraResult::ExportDovraResult(QWidget *parent, const ShopSettings &shop)
    : OrderSearchWindowBase(parent, shop), ui(new Ui_ExportDovraResult)
{
    ui->setupUi(this);
    OrderWindowSetup setup;
    setup.rowSource = OrderRowSource::DovraExport;
    setUpOrderWindow(setup);
    dovraThread = new Dovrathread(this, this);
}

ExportDovraResult::~ExportDovraResult()
{
    dovraThread->stopAndWait();
    dovraThread = nullptr;
    delete ui;
}

void ExportDovraResult::setToolName(const QString &name)
{
    showToolName(name);
}

void ExportDovraResult::on_selectPathButton_clicked()
{
    chooseSavePath();
}

void ExportDovraResult::on_comboBox_currentIndexChanged(int index)
{
    Q_UNUSED(index) // the type is read when a search starts
}

void ExportDovraResult::startClicked()
{
    if (m_isSeparating) {
        inform(kBusyTitle, kBusyText);
        return;
    }
    if (!hasCheckedOrder()) {
        inform(QString(), QStringLiteral("请选择订单"));
        return;
    }
    // An empty field would put the export tree at the top of the file system.
    const QString root = ui->pathLineEdit->text();
    if (root.trimmed().isEmpty() || !FileOperation::dirExists(root)) {
        inform(QStringLiteral("警告"), QStringLiteral("分件路径不存在"));
        return;
    }
    m_isSeparating = true;
    ui->groupBox->show();
    ui->label->show();
    ui->label->setText(QStringLiteral("开始导出Dovra结果..."));
    dovraThread->startExport(root, m_orderList, shop().dovraisdownloadall, shop().dovrabigimg);
}

void ExportDovraResult::slt_exportDovraResult(QJsonObject msgObjc)
{
    const QString type = jsonString(msgObjc, QStringLiteral("type"));
    if (type == QLatin1String("all_finish")) {
        // The progress line shows the end behind the report box (not the last file copied) and keeps it.
        ui->label->setText(QStringLiteral("Dovra结果导出结束"));
        inform(QStringLiteral("温馨提示"), jsonString(msgObjc, QStringLiteral("message")));
        m_isSeparating = false;
        ui->groupBox->hide();
        ui->label->hide();
    } else if (type == QLatin1String("update_msg")) {
        ui->label->setText(jsonString(msgObjc, QStringLiteral("alert")));
    } else {
        qCDebug(lcDovra) << "Dovra export report of unknown kind:" << msgObjc;
    }
}

void ExportDovraResult::closeEvent(QCloseEvent *event)
{
    // Closing now would hold the window until the last file and lose the report.
    if (m_isSeparating) {
        inform(kBusyTitle, kBusyText);
        event->ignore();
        return;
    }
    OrderSearchWindowBase::closeEvent(event);
}
