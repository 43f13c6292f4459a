#include "calendarpicker.h"

#include "ui_calendarpicker.h"

#include <QCalendarWidget>
#include <QDate>
#include <QKeyEvent>

CalendarPicker::CalendarPicker(QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::CalendarPicker)
{
    ui->setupUi(this);
    setFixedSize(375, 243);
    // The calendar's own views swallow Return, so it is caught on its way to them.
    ui->calendarWidget->installEventFilter(this);
    for (QWidget *child : ui->calendarWidget->findChildren<QWidget *>())
        child->installEventFilter(this);
}

CalendarPicker::~CalendarPicker()
{
    delete ui;
}

QCalendarWidget *CalendarPicker::calendar() const
{
    return ui->calendarWidget;
}

void CalendarPicker::on_pushButton_ok_clicked()
{
    finish(ui->calendarWidget->selectedDate().toString(QStringLiteral("yyyy-MM-dd")));
}

void CalendarPicker::on_pushButton_clear_clicked()
{
    finish(QString());
}

void CalendarPicker::finish(const QString &date)
{
    if (m_finishing)
        return; // a receiver pressed again while the date was on its way
    m_finishing = true;
    emit urgentDate(date);
    close();
    m_finishing = false;
}

static bool isReturn(QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool CalendarPicker::eventFilter(QObject *watched, QEvent *event)
{
    if (isReturn(event)) {
        on_pushButton_ok_clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CalendarPicker::keyPressEvent(QKeyEvent *event)
{
    if (isReturn(event)) {
        on_pushButton_ok_clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}
