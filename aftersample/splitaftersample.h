#pragma once
// The after-sample window of the tool "样后分件": the order search, table and save folder of the
// separation windows on a form of its own. "开始分件" separates the ticked orders one by one: each
// order's finished photos, with their camera-raw siblings, go into the dated order folder under the
// shop's finished-folder name.

#include "separationwindow.h"

class Ui_SplitAfterSample;

class SplitAfterSample : public SeparationWindow
{
    Q_OBJECT
public:
    explicit SplitAfterSample(QWidget *parent = nullptr);
    ~SplitAfterSample() override;

    // Kept for the tool window; the window reads it nowhere.
    void setToolName(const QString &name);
    QString toolName() const { return m_toolName; }

private slots:
    void on_selectPathButton_clicked();
    void on_comboBox_currentIndexChanged(int index);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startClicked() override { startSeparation(); }
    void readGoods(const QJsonObject &reply) override;
    void finalPhotosCopied() override;

    Ui_SplitAfterSample *ui;
    QString m_toolName;
};
