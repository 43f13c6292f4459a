#include "multiselectcombobox.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>

MultiSelectComboBox::MultiSelectComboBox(QWidget *parent)
    : QComboBox(parent), m_model(new QStandardItemModel(this)), m_button(new QPushButton(this))
{
    setModel(m_model);
    auto *list = new QListView(this);
    setView(list);
    // Installed after the popup's own filter, so ours sees the clicks first and can keep the list open.
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);

    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->setReadOnly(true);
    setStyleSheet(QStringLiteral("QComboBox::drop-down{border-style:none;}"));

    m_button->setGeometry(rect());
    m_button->setFocusPolicy(Qt::NoFocus);
    connect(m_button, &QPushButton::clicked, this, [this]() { showPopup(); });
}

void MultiSelectComboBox::appendItems(const QStringList &texts)
{
    for (const QString &text : texts) {
        auto *item = new QStandardItem(text);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setData(Qt::Unchecked, Qt::CheckStateRole);
        m_model->appendRow(item);
    }
    showCheckedTexts();
}

void MultiSelectComboBox::setButtonText(const QString &text)
{
    m_button->setText(text);
}

int MultiSelectComboBox::activateAllItems()
{
    const int rows = m_model->rowCount();
    for (int row = 0; row < rows; ++row)
        onItemActivated(row);
    return rows;
}

QList<int> MultiSelectComboBox::checkedItems() const
{
    QList<int> rows;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QStandardItem *item = m_model->item(row);
        if (item && item->checkState() == Qt::Checked)
            rows.append(row);
    }
    return rows;
}

void MultiSelectComboBox::onItemActivated(int row)
{
    QStandardItem *item = m_model->item(row);
    if (!item)
        return;
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    showCheckedTexts();
}

QStringList MultiSelectComboBox::checkedTexts() const
{
    QStringList texts;
    for (int row : checkedItems())
        texts.append(m_model->item(row)->text());
    return texts;
}

void MultiSelectComboBox::showCheckedTexts()
{
    // The field (under the overlay button) lists the ticked rows.
    lineEdit()->setText(checkedTexts().join(QLatin1Char(',')));
}

bool MultiSelectComboBox::eventFilter(QObject *watched, QEvent *event)
{
    QAbstractItemView *list = view();
    if (list && watched == list->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            const QModelIndex index = list->indexAt(mouse->pos());
            if (mouse->button() == Qt::LeftButton && index.isValid())
                onItemActivated(index.row());
            return true; // the list stays open
        }
    } else if (list && watched == list && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            const QModelIndex index = list->currentIndex();
            if (index.isValid())
                onItemActivated(index.row());
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void MultiSelectComboBox::resizeEvent(QResizeEvent *event)
{
    QComboBox::resizeEvent(event);
    m_button->setGeometry(rect());
}
