#include "searchorder.h"
#include "ui_searchorder.h"

SearchOrder::SearchOrder(QWidget *parent) : OrderSearchWindowBase(parent), ui(new Ui_SearchOrder)
{
    ui->setupUi(this);
    setUpOrderWindow(OrderWindowSetup());
}

SearchOrder::~SearchOrder()
{
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
