#include "searchorder.h"
#include "ui_searchorder.h"

#include "fileoperation.h"
#include "globals.h"
#include "goodsplan.h"
#include "logging.h"
#include "messageboxdialog.h"
#include "messagedialog.h"
#include "msgbox.h"
#include "orderdeletebatch.h"
#include "platform.h"
#include "separatethread.h"
#include "webapi.h"

#include <QDate>
#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QNetworkReply>

namespace {

const QString kSavePathFile = QStringLiteral("path_separatePhotos.dat");
const QString kFinishedLabel = QStringLiteral("已完成订单个数：");

void inform(const QString &title, const QString &text)
{
    MsgBox::information(nullptr, title, text, QMessageBox::Yes, QMessageBox::Yes);
}

// The entries of a folder as the separation lists them: files and sub-folders that are not hidden,
// "." and ".." included, by name without regard to case; a missing folder lists nothing.
QStringList listing(const QString &folder)
{
    const QDir dir(Platform::localPath(folder));
    return dir.exists() ? dir.entryList() : QStringList();
}

bool endsWithSeparator(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

} // namespace

SearchOrder::SearchOrder(QWidget *parent) : OrderSearchWindowBase(parent), ui(new Ui_SearchOrder)
{
    ui->setupUi(this);
    setUpOrderWindow(OrderWindowSetup());
}

SearchOrder::~SearchOrder()
{
    delete m_codeDialog.data(); // a code accepted later must not delete anything
    delete ui;
}

void SearchOrder::setToolName(const QString &name)
{
    if (name != QStringLiteral("批量删除"))
        return;
    setSearchTypes(deleteSearchLabels());
    ui->selectPathButton->hide();
    ui->pathLineEdit->hide();
    // The mode shows in this text alone.
    ui->pushButton_separate->setText(QStringLiteral("批量删除"));
}

void SearchOrder::on_selectPathButton_clicked()
{
    chooseSavePath();
}

void SearchOrder::on_comboBox_currentIndexChanged(int index)
{
    Q_UNUSED(index) // the type is read when a search starts
}

void SearchOrder::startClicked()
{
    if (ui->pushButton_separate->text() == QStringLiteral("批量删除")) {
        deleteClicked();
        return;
    }
    startSeparation();
}

// ---- the run ----

void SearchOrder::startSeparation()
{
    // A click during a run (here or in another window) changes nothing of it, its findings included.
    if (!beginRun())
        return;
    m_messageList.clear();
    if (!hasCheckedOrder()) {
        endRun();
        inform(QString(), QStringLiteral("请选择订单"));
        return;
    }
    checkOrdersNum = 0;
    bool untaken = false;
    for (const OrderRowInfo &row : qAsConst(m_orderList)) {
        if (row.checked) {
            ++checkOrdersNum;
            untaken = untaken || !row.processed;
        }
    }
    if (!FileOperation::dirExists(ui->pathLineEdit->text())) {
        endRun();
        inform(QStringLiteral("警告"), QStringLiteral("分件路径不存在"));
        return;
    }
    if (!untaken) {
        // An earlier run ended early after taking every ticked row: start those rows afresh next time.
        for (OrderRowInfo &row : m_orderList)
            row.processed = false;
        checkOrdersNum = 0;
        finishOrdersNum = 0;
        endRun();
        inform(QStringLiteral("提示"), QStringLiteral("勾选的订单都已分件，再次点击“开始分件”将重新分件"));
        return;
    }
    guard()->takeFailures(); // what an earlier run left
    ui->groupBox->show();
    ui->label->show();
    startNextOrder();
}

bool SearchOrder::startNextOrder()
{
    for (OrderRowInfo &row : m_orderList) {
        if (!row.checked || row.processed)
            continue;
        row.processed = true;
        g_cur_order_photo_id = row.order_photo_id;
        g_cur_servicetimes = row.servicetimes;
        g_cur_customerName = row.customerName;
        g_cur_customerPhone = row.customerPhone;
        g_cur_role1 = row.role1;
        g_cur_role2 = row.role2;
        g_cur_shotdate = row.shotdate;
        g_cur_photodate2 = row.photodate2;
        g_cur_orderpayforkey = row.orderpayforkey;
        g_cur_orderpath = row.orderpath;
        g_cur_pickuptime = row.pickuptime;
        g_cur_role10 = row.role10;
        g_cur_isurgenttime = row.isurgenttime;
        g_cur_pickupTypeText = row.pickupTypeText;
        postQueryProducts(row.order_photo_id);
        return false;
    }
    return true;
}

void SearchOrder::postQueryProducts(const QString &orderPhotoId)
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("order_photo_id"), orderPhotoId)
                                .add(QStringLiteral("shopid"), g_SHOPID)
                                .add(QStringLiteral("superid"), g_SUPERID)
                                .add(QStringLiteral("personid"), g_EID)
                                .add(QStringLiteral("uid"), g_UID)
                                .add(QStringLiteral("is_qu"), QStringLiteral("1"))
                                .toByteArray();
    postRequest(g_url_ordergoods20230521, body, [this](QNetworkReply *reply) { queryProductsCallBack(reply); });
    qCDebug(lcSeparation) << "query product Url:" << g_url_ordergoods20230521;
    qCDebug(lcSeparation) << "query product Paras:" << maskSecrets(body);
}

void SearchOrder::endRunEarly()
{
    endRun();
}

void SearchOrder::queryProductsCallBack(QNetworkReply *reply)
{
    if (!runActive())
        return;
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, nullptr, QStringLiteral("查询产品信息错误：服务器返回的数据无法识别"))) {
        endRunEarly();
        return;
    }
    const QString code = jsonString(obj, QStringLiteral("code"));
    if (code != QLatin1String("1")) {
        inform(QStringLiteral("警告"), QStringLiteral("查询产品信息错误：") + code);
        endRunEarly();
        return;
    }

    const GoodsPlan plan = planGoods(obj, PickupOrder::current(), g_isshow_subproduct);
    productFolderList = plan.folders;
    g_orderGoodsList = plan.goods;
    ui->groupBox->hide();
    ui->label->hide();

    workDir = ui->pathLineEdit->text();
    if (workDir.isEmpty()) {
        workDir = FileDialogs::getExistingDirectory(this, QStringLiteral("选择分件保存路径"), QString());
        // The chosen folder serves the rest of the run and the report.
        ui->pathLineEdit->setText(workDir);
    }
    if (workDir.isEmpty()) {
        endRunEarly();
        return;
    }
    FileOperation::writeDatFile(kSavePathFile, QStringList{workDir}, true);
    if (!endsWithSeparator(workDir))
        workDir += QLatin1Char('/');
    g_separateWorkDir = workDir;
    startSeparatePhotos();
}

// Stage 0: the folders, then one check per product photo.
void SearchOrder::startSeparatePhotos()
{
    qCDebug(lcSeparation) << "执行拉" << "startSeparatePhotos";
    QString failed;
    auto make = [&failed](const QString &path) {
        if (failed.isEmpty() && !FileOperation::mkDir(path))
            failed = path;
    };
    workDir += QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/');
    make(workDir);
    workDir += normalizeFileName(g_cur_orderpayforkey) + QStringLiteral("-服务") + normalizeFileName(g_cur_servicetimes)
               + QLatin1Char(' ') + normalizeFileName(g_cur_customerName) + QLatin1Char(' ')
               + normalizeFileName(g_cur_pickupTypeText) + QLatin1Char('/');
    make(workDir);
    orderDir = workDir;
    const bool plainMode = g_separateMode.isEmpty();
    if (plainMode)
        workDir += QStringLiteral("其它/");
    make(workDir);
    g_separateWorkDir = workDir;
    make(workDir + g_finishedDirName);
    if (plainMode)
        make(workDir + QStringLiteral("汰片"));
    make(workDir + g_markDirName);
    if (!failed.isEmpty()) {
        inform(QStringLiteral("警告"), QStringLiteral("分件文件夹创建失败：") + failed);
        endRunEarly();
        return;
    }

    readyNum = 0;
    m_checkJobCount = 0;
    m_checkReturnCount = 0;
    resetJobPool();
    for (int i = 0; i < g_orderGoodsList.size(); ++i) {
        for (const QString &photo : g_orderGoodsList.at(i).photoNames) {
            if (!isSafePhotoName(photo))
                continue; // reported missing with its product
            ++m_checkJobCount;
            startJob(new SeparateThread(g_cur_orderpath + QStringLiteral("成品/") + photo,
                                        SeparateThread::PhotoIsFile, guard()),
                     i);
        }
    }
    if (m_checkJobCount == 0)
        fenjian_photoIsFileSlot_1(0);
}

// Stage 1: every check is in; the finished photos are copied.
void SearchOrder::fenjian_photoIsFileSlot_1(int num)
{
    Q_UNUSED(num)
    if (m_checkJobCount > 0) {
        ++m_checkReturnCount;
        qCDebug(lcSeparation) << "读取数量：" << m_checkJobCount << "  --" << m_checkReturnCount;
        if (m_checkReturnCount != m_checkJobCount)
            return;
    } else if (m_checkReturnCount != 0) {
        return;
    }
    finalPhotoList = listing(g_cur_orderpath + QStringLiteral("成品/"));
    delPhotoList.clear();
    if (g_xztp == QLatin1String("1") && g_separateMode != QStringLiteral("Orlan分件"))
        delPhotoList = listing(g_cur_orderpath + QStringLiteral("汰片/"));
    ui->groupBox->show();
    markPhotoList = listing(g_cur_orderpath + QStringLiteral("marks/"));
    qCDebug(lcSeparation) << "总进度的总数 分别是 finalPhotoList：" << finalPhotoList.size() << " - delPhotoList"
             << delPhotoList.size() << " - markPhotoList" << markPhotoList.size();

    ui->progressBar->setMaximum(finalPhotoList.size() + delPhotoList.size() + markPhotoList.size() + 14);
    ui->progressBar->setValue(0);
    ui->progressBar->show();
    ui->label_finishOrdersNum->setText(kFinishedLabel + QString::number(finishOrdersNum) + QLatin1Char('/')
                                       + QString::number(checkOrdersNum));
    ui->label_finishOrdersNum->show();

    isSheetDone = false;
    resetJobPool();
    m_finalReturnCount = 0;
    if (finalPhotoList.isEmpty()) {
        fenjian_finalPhotoSlot_2();
        return;
    }
    const QString target = g_separateWorkDir + g_finishedDirName + QLatin1Char('/');
    for (const QString &name : qAsConst(finalPhotoList)) {
        const QString src = g_cur_orderpath + QStringLiteral("成品/") + name;
        qCDebug(lcSeparation) << "test=" << src << "-to==" << target + name;
        startJob(new SeparateThread(src, target + name, true, SeparateThread::FinalPhotoCopy, guard()));
    }
}

// Stage 2: the finished photos are in; the rejected photos are copied.
void SearchOrder::fenjian_finalPhotoSlot_2()
{
    if (!finalPhotoList.isEmpty()) {
        ++m_finalReturnCount;
        qCDebug(lcSeparation) << "分件原图复制完成" << m_finalReturnCount;
        onFinishSeparateImage();
    }
    m_delReturnCount = 0;
    qCDebug(lcSeparation) << "原图总数：" << finalPhotoList.size() << " 已复制：" << m_finalReturnCount;
    if (m_finalReturnCount != finalPhotoList.size())
        return;
    if (delPhotoList.isEmpty()) {
        fenjian_delPhotoSlot_3();
        return;
    }
    for (const QString &name : qAsConst(delPhotoList))
        startJob(new SeparateThread(g_cur_orderpath + QStringLiteral("汰片/") + name,
                                    g_separateWorkDir + QStringLiteral("汰片/") + name, true,
                                    SeparateThread::DelPhotoCopy, guard()));
}

// Stage 3: the rejected photos are in; the marked photos are copied.
void SearchOrder::fenjian_delPhotoSlot_3()
{
    if (!delPhotoList.isEmpty()) {
        ++m_delReturnCount;
        onFinishSeparateImage();
    }
    if (m_delReturnCount != delPhotoList.size())
        return;
    m_markReturnCount = 0;
    qCDebug(lcSeparation) << "markPhotoList: " << markPhotoList;
    if (markPhotoList.isEmpty()) {
        fenjian_markPhoto_3_1();
        return;
    }
    for (const QString &name : qAsConst(markPhotoList))
        startJob(new SeparateThread(g_cur_orderpath + QStringLiteral("marks/") + name,
                                    g_separateWorkDir + g_markDirName + QLatin1Char('/') + name, true,
                                    SeparateThread::MarkPhotoCopy, guard()));
}

// Stage 4: the marked photos are in; the product folders are made and their photos copied.
void SearchOrder::fenjian_markPhoto_3_1()
{
    if (!markPhotoList.isEmpty()) {
        ++m_markReturnCount;
        onFinishSeparateImage();
    }
    m_productJobCount = 0;
    fenjian_productOkNum = 0;
    if (m_markReturnCount != markPhotoList.size())
        return;
    m_progressBase = readyNum;
    m_orderMessage = SeparateMessageInfo();
    m_orderMessage.orderNumber = g_cur_orderpayforkey;
    SeparateMessageInfo planned;
    planned.orderNumber = g_cur_orderpayforkey;
    isProductsDone = false;

    const bool orlan = g_separateMode == QStringLiteral("Orlan分件");
    const QString finishedDir = g_cur_orderpath + QStringLiteral("成品/");
    for (int i = 0; i < productFolderList.size(); ++i) {
        const ProductFolderInfo &e = productFolderList.at(i);
        const QString factory = orlan ? QString() : e.factoryFolder;
        const QString name = e.goodsFolderName.isEmpty() ? e.goodname : e.goodsFolderName;
        if (e.productFolder.isEmpty())
            continue;
        QString target = orderDir + factory + e.productFolder + e.sonFolder;
        qCDebug(lcSeparation) << "finalPath==" << i << "--" << target << "firstpath==" << i << "--" << factory
                 << "secoendpath==" << i << "--" << e.productFolder;
        if (!FileOperation::dirExists(orderDir + factory))
            FileOperation::mkPath(orderDir + factory);
        if (!FileOperation::dirExists(target)) {
            FileOperation::mkPath(target);
        } else {
            // A folder of that name is there already (an earlier run, or an entry of the same path): the
            // first free numbered twin beside it.
            for (int n = 1; n < 500; ++n) {
                QString candidate = orderDir + factory + name + QStringLiteral(" (") + QString::number(n)
                                    + QLatin1Char(')');
                if (e.namingStyle == QLatin1String("1"))
                    candidate += e.folderLabel;
                else
                    candidate += QLatin1Char(' ') + normalizeFileName(e.goodtypename) + QLatin1Char(' ')
                                 + normalizeFileName(e.goodamount) + QLatin1Char('/');
                if (!endsWithSeparator(candidate))
                    candidate += QLatin1Char('/');
                qCDebug(lcSeparation) << (e.sonFolder.isEmpty() ? "newPath1: " : "newPath2: ") << candidate;
                if (!FileOperation::dirExists(candidate)) {
                    FileOperation::mkDir(candidate);
                    target = candidate;
                    break;
                }
            }
        }
        if (e.photoNames.isEmpty()) {
            if (e.goodtypeid != QLatin1String("40"))
                planned.emptyProducts.append(name);
            continue;
        }
        qCDebug(lcSeparation) << "要复制照片的产品：" << target << e.photoNames;
        for (const QString &photo : e.photoNames) {
            if (isSafePhotoName(photo) && !Platform::findFileNoCase(finishedDir, photo).isEmpty()) {
                ++m_productJobCount;
                startJob(new SeparateThread(photo, target + photo, name, false, SeparateThread::ProductPhotoCopy,
                                            guard()));
            } else {
                planned.addNotExistPhoto(name + QLatin1Char(':') + photo);
            }
        }
    }
    if (m_productJobCount == 0)
        fenjian_productPhotoSlot_4(QString());
    m_messageList.append(planned);
}

// Stage 5: one product photo is in (or missing).
void SearchOrder::fenjian_productPhotoSlot_4(QString fullPicName)
{
    if (m_productJobCount > 0) {
        const double step = 10.0 / m_productJobCount;
        const int r = ++fenjian_productOkNum;
        const int delta = int(step * r - int(step * (r - 1)));
        qCDebug(lcSeparation) << "产品数加了：" << delta << "--i" << step;
        if (delta >= 1) {
            readyNum += delta - 1;
            onFinishSeparateImage();
        }
    } else {
        qCDebug(lcSeparation) << "产品为空开始下面流程";
        readyNum += 9;
        onFinishSeparateImage();
    }
    m_orderMessage.addNotExistPhoto(fullPicName);
    qCDebug(lcSeparation) << "产品总数:" << m_productJobCount << "  产品完成计数:" << fenjian_productOkNum;
    if (m_productJobCount > fenjian_productOkNum || isProductsDone)
        return;
    readyNum = m_progressBase + 10;
    m_orderMessage.failures = guard()->takeFailures();
    m_messageList.append(m_orderMessage);
    isProductsDone = true;
    productsDone();
}

void SearchOrder::productsDone()
{
    isSheetDone = true;
    separateNextOrder();
}

void SearchOrder::onFinishSeparateImage()
{
    ++readyNum;
    ui->progressBar->setValue(readyNum);
    if (ui->progressBar->maximum() == readyNum && isSheetDone && isProductsDone)
        separateNextOrder();
}

void SearchOrder::separateNextOrder()
{
    ++finishOrdersNum;
    ui->label_finishOrdersNum->setText(kFinishedLabel + QString::number(finishOrdersNum) + QLatin1Char('/')
                                       + QString::number(checkOrdersNum));
    ui->progressBar->setValue(0);
    ui->progressBar->setMaximum(0);
    ui->progressBar->hide();
    if (!startNextOrder())
        return;

    const QString message = separateReportText(m_messageList);
    qCDebug(lcSeparation) << "m_messageList.count()" << m_messageList.size();
    qCDebug(lcSeparation) << "message" << message;
    auto *box = new MessageBoxDialog(nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setMessage(message, reportFileName());
    box->setModal(true);
    box->show();

    for (OrderRowInfo &row : m_orderList)
        row.processed = false;
    finishOrdersNum = 0;
    checkOrdersNum = 0;
    ui->label_finishOrdersNum->hide();
    ui->groupBox->hide();
    endRun();
}

QString SearchOrder::reportFileName() const
{
    QString path = ui->pathLineEdit->text();
    if (!endsWithSeparator(path))
        path += QLatin1Char('/');
    QStringList numbers;
    for (const SeparateMessageInfo &m : m_messageList)
        numbers << m.orderNumber;
    return path + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/')
           + numbers.join(QStringLiteral("、")) + QStringLiteral("分件结果.txt");
}

void SearchOrder::deleteClicked()
{
    if (!hasCheckedOrder()) {
        inform(QString(), QStringLiteral("请选择订单"));
        return;
    }
    // One code check and one batch at a time: a second one would hand the same folders to more threads.
    if (m_codeDialog && m_codeDialog->isVisible()) {
        m_codeDialog->raise();
        m_codeDialog->activateWindow();
        return;
    }
    if (isDeleting())
        return;
    auto *dialog = new MessageDialog(nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &MessageDialog::deleteorderfile, this, &SearchOrder::startDel);
    m_codeDialog = dialog;
    dialog->show();
}

void SearchOrder::startDel()
{
    if (OrderDeleteBatch *batch = startDeleteBatch())
        connect(batch, &OrderDeleteBatch::ended, this, [this] { ui->label->setText(QStringLiteral("删除成功")); });
}
