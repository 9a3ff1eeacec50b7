#pragma once

#include "ListedExtensions.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QListView;

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
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();

private:
    std::array<QListView*, 5> views() const;
    void loadStartLists();
    std::optional<manager::ListedExtension> selectedExtension() const;
    void destroyWindow();

    std::unique_ptr<Ui::Addonsmanager> m_ui;
    // Per view, the extension behind each row: the views show names only.
    std::array<QList<manager::ListedExtension>, 5> m_listed;
    // The view in which the user last chose an entry; clicking a button
    // takes the focus away from it.
    QPointer<QListView> m_lastChosenView;
};
