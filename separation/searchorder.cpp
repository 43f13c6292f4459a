#include "searchorder.h"
#include "ui_searchorder.h"

#include "fileoperation.h"
#include "globals.h"
#include "goodsplan.h"
#include "logging.h"
#include "messagedialog.h"
#include "orderdeletebatch.h"
#include "platform.h"
#include "separatethread.h"
#include "separationattempt.h"

SearchOrder::SearchOrder(QWidget *parent, const ShopSettings &shop) : SeparationWindow(parent, shop), ui(new Ui_SearchOrder)
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
    showToolName(name);
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

QString SearchOrder::readGoods(const QJsonObject &reply)
{
    const PickupOrder order{m_order.orderpayforkey, m_order.customerName, m_order.pickuptime, m_order.role10};
    const GoodsPlan plan = planGoods(reply, order, shop().isshowSubproduct);
    productFolderList = plan.folders;
    m_orderGoodsList = plan.goods;
    return plan.refusal;
}

QString SearchOrder::workSubFolder() const
{
    return shop().separateMode.isEmpty() ? QStringLiteral("其它/") : QString();
}

QStringList SearchOrder::workFolders() const
{
    if (shop().separateMode.isEmpty())
        return {shop().finishedDirName, QStringLiteral("汰片"), shop().markDirName};
    return {shop().finishedDirName, shop().markDirName};
}

QStringList SearchOrder::rejectedPhotos() const
{
    if (shop().xztp == QLatin1String("1") && shop().separateMode != QStringLiteral("Orlan分件"))
        return listing(m_order.orderpath + QStringLiteral("汰片/")).names();
    return QStringList();
}

QStringList SearchOrder::markedPhotos() const
{
    return listing(m_order.orderpath + QStringLiteral("marks/")).names();
}

// Stage 2, continued: the finished photos are in; the rejected photos are copied.
void SearchOrder::finalPhotosCopied()
{
    m_delReturnCount = 0;
    if (delPhotoList.isEmpty()) {
        fenjian_delPhotoSlot_3();
        return;
    }
    startCopies(delPhotoList, m_order.orderpath + QStringLiteral("汰片/"), workDir + QStringLiteral("汰片/"),
                SeparateThread::DelPhotoCopy);
}

// Stage 3: the rejected photos are in; the marked photos are copied.
void SearchOrder::fenjian_delPhotoSlot_3()
{
    if (!copyReported(delPhotoList, &m_delReturnCount))
        return;
    m_markReturnCount = 0;
    qCDebug(lcSeparation) << "markPhotoList: " << markPhotoList;
    if (markPhotoList.isEmpty()) {
        fenjian_markPhoto_3_1();
        return;
    }
    startCopies(markPhotoList, m_order.orderpath + QStringLiteral("marks/"),
                workDir + shop().markDirName + QLatin1Char('/'), SeparateThread::MarkPhotoCopy);
}

// Stage 4: the marked photos are in; once no other window copies into the order's folder (one closed
// during its run of this order), the product folders are made and their photos copied.
void SearchOrder::fenjian_markPhoto_3_1()
{
    m_productJobCount = 0;
    fenjian_productOkNum = 0;
    if (!copyReported(markPhotoList, &m_markReturnCount))
        return;
    afterOtherCopies([this] { startProductCopies(); });
}

void SearchOrder::startProductCopies()
{
    m_progressBase = readyNum;
    m_orderMessage = SeparateMessageInfo();
    m_orderMessage.orderNumber = m_order.orderpayforkey;
    SeparateMessageInfo planned;
    planned.orderNumber = m_order.orderpayforkey;
    isProductsDone = false;

    // The plan's folders, settled against what an unfinished attempt at the order made (SeparationAttempt):
    // its folders are gone on in, not twinned.
    const bool orlan = shop().separateMode == QStringLiteral("Orlan分件");
    QList<SeparationAttempt::Wanted> wanted;
    QStringList names;                // the product of each wanted folder
    QList<QStringList> finishedNames; // its photos as listed in "成品/"
    for (int i = 0; i < productFolderList.size(); ++i) {
        const ProductFolderInfo &e = productFolderList.at(i);
        const QString factory = orlan ? QString() : e.factoryFolder;
        const QString name = e.goodsFolderName.isEmpty() ? e.goodname : e.goodsFolderName;
        if (e.productFolder.isEmpty())
            continue;
        qCDebug(lcSeparation) << "finalPath==" << i << "--" << orderDir + factory + e.productFolder + e.sonFolder
                              << "firstpath==" << i << "--" << factory << "secoendpath==" << i << "--" << e.productFolder;
        SeparationAttempt::Wanted w;
        w.folder = factory + e.productFolder + e.sonFolder;
        w.twin = [e, factory, name](int n) {
            const QString numbered = name + QStringLiteral(" (") + QString::number(n) + QLatin1Char(')');
            const QString candidate = factory
                                      + (e.namingStyle == QLatin1String("1")
                                             ? numbered + e.folderLabel
                                             : productFolderLevel(numbered, e.goodtypename, e.goodamount));
            qCDebug(lcSeparation) << (e.sonFolder.isEmpty() ? "newPath1: " : "newPath2: ") << candidate;
            return candidate;
        };
        if (e.photoNames.isEmpty() && e.goodtypeid != QLatin1String("40"))
            planned.emptyProducts.append(name);
        QStringList finishedOf;
        for (const QString &photo : e.photoNames) {
            // Looked up in the listing of "成品/" the finished copies were made from, whatever the letter case.
            const QString finished = isSafePhotoName(photo) && SeparationAttempt::isCopyName(photo)
                                         ? m_finishedIndex.fileName(photo)
                                         : QString();
            if (finished.isEmpty()) {
                planned.addNotExistPhoto(name + QLatin1Char(':') + photo);
                continue;
            }
            w.photos << photo;
            finishedOf << finished;
        }
        wanted << w;
        names << name;
        finishedNames << finishedOf;
    }
    const auto stage = std::make_shared<ProductStage>();
    stage->attempt = std::make_shared<SeparationAttempt>(orderDir, orderFolderClaimed());
    stage->wanted = wanted;
    stage->names = names;
    stage->finishedNames = finishedNames;
    stage->planned = planned;
    // The record is read and the folders settled and made off the GUI thread (the record of a large order
    // takes a while to read, and on a busy disk hundreds of folders to make), then their copies start.
    offGuiThen(
        [stage] {
            stage->placed = stage->attempt->place(stage->wanted);
            stage->attempt->makeFolders(&stage->placed);
        },
        [this, stage] {
            m_attempt = stage->attempt;
            m_attemptLeftBehind = stage->attempt->leftBehind();
            stage->planned.notes << stage->attempt->notes();
            copyIntoPlacedFolders(stage);
        });
}

void SearchOrder::copyIntoPlacedFolders(const std::shared_ptr<ProductStage> &stage)
{
    // One copy job per photo that has a name in its folder, each counted before the first reports.
    QList<QPair<int, int>> copies; // folder, photo
    for (int i = 0; i < stage->placed.size(); ++i) {
        const SeparationAttempt::Placed &p = stage->placed.at(i);
        if (!p.failure.isEmpty()) { // its folder could not be made: named once, none of its photos copied
            stage->planned.failures << p.failure;
            continue;
        }
        const QStringList &photos = stage->wanted.at(i).photos;
        if (photos.isEmpty() || p.folder.isEmpty()) // a product without a folder is named
            continue;
        qCDebug(lcSeparation) << "要复制照片的产品：" << p.folder << photos;
        for (int j = 0; j < p.targets.size(); ++j) {
            if (p.targets.at(j).isEmpty()) // no name for it beside the files there
                stage->planned.failures << p.folder + photos.at(j) + QStringLiteral("（没有可用的文件名）");
            else
                copies.append({i, j});
        }
    }
    m_productJobCount = copies.size();
    if (m_productJobCount == 0)
        fenjian_productPhotoSlot_4(QString());
    m_messageList.append(stage->planned);
    // The copy goes where the attempt placed it, and enters its record once it is in place.
    const QString finishedFolder = workDir + shop().finishedDirName + QLatin1Char('/');
    const QString folder = orderDir;
    startInSlices(copies.size(), [this, stage, copies, finishedFolder, folder](int n) {
        const int i = copies.at(n).first;
        const int j = copies.at(n).second;
        auto *job = new SeparateThread(stage->wanted.at(i).photos.at(j), stage->placed.at(i).targets.at(j),
                                       stage->names.at(i), true, SeparateThread::ProductPhotoCopy, guard());
        job->setFinishedFolder(finishedFolder);
        job->setFinishedName(stage->finishedNames.at(i).at(j));
        job->setAttempt(stage->attempt, i, j);
        guard()->startJob(job, 0, folder);
    });
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
    if (m_attempt) {
        const QStringList kept = m_attempt->takeKeptFiles();
        if (!kept.isEmpty())
            m_orderMessage.notes << QStringLiteral("产品文件夹中有不是分件复制的同名文件，未改动，照片另存为编号名称：")
                                        + kept.join(QStringLiteral("、"));
    }
    m_orderMessage.failures = guard()->takeFailures();
    m_orderMessage.unreadablePhotos = guard()->takeUnreadable();
    m_messageList.append(m_orderMessage);
    isProductsDone = true;
    productsDone();
}

void SearchOrder::productsDone()
{
    qCDebug(lcSeparation) << "开始html";
    prepareSheetAndBarcode();
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
