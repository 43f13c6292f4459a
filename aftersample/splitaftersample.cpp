#include "splitaftersample.h"
#include "logging.h"
#include "ui_splitaftersample.h"

#include <QCloseEvent>
#include <QDebug>

SplitAfterSample::SplitAfterSample(QWidget *parent) : OrderSearchWindowBase(parent), ui(new Ui_SplitAfterSample)
{
    ui->setupUi(this);
    setUpOrderWindow(OrderWindowSetup());
}

SplitAfterSample::~SplitAfterSample()
{
    delete ui;
}

void SplitAfterSample::setToolName(const QString &name)
{
    m_toolName = name;
}

void SplitAfterSample::on_selectPathButton_clicked()
{
    chooseSavePath();
}

void SplitAfterSample::on_comboBox_currentIndexChanged(int index)
{
    Q_UNUSED(index) // the type is read when a search starts
}

void SplitAfterSample::closeEvent(QCloseEvent *event)
{
    qCDebug(lcSeparation) << "要关闭窗口了";
    OrderSearchWindowBase::closeEvent(event);
}
