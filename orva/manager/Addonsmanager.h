#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class Addonsmanager;
}

// The extension manager: the extension names of the five start lists side by
// side, read once when the window is built. Top-level, parentless; it destroys
// itself on "确定" and after a completed installation.
class Addonsmanager : public QWidget
{
    Q_OBJECT

public:
    explicit Addonsmanager(QWidget* parent = nullptr);
    ~Addonsmanager() override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_5_clicked();

private:
    void loadStartLists();
    void destroyWindow();

    std::unique_ptr<Ui::Addonsmanager> m_ui;
};
