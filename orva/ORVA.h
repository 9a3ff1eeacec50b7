#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class ORVA;
}

// ORVA's main window. Its constructor runs the whole start-up: the notices,
// the loading notice and the start-up launcher; only then is the form built.
// It is left through the Exit action: the title bar has no close control.
class ORVA : public QMainWindow
{
    Q_OBJECT

public:
    explicit ORVA(QWidget* parent = nullptr);
    ~ORVA() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_actionManage_triggered();
    void on_actionAbout_triggered();
    void on_actionExit_triggered();

private:
    void removeCloseButton();

    std::unique_ptr<Ui::ORVA> m_ui;
};
