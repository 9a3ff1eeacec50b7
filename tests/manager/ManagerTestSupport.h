#pragma once

// What the manager's tests look at: the windows and boxes on screen, a view's
// rows, and the workspace's start lists.

#include "Addonsmanager.h"
#include "ModalAnswerer.h"
#include "TempWorkspace.h"

#include <QApplication>
#include <QListView>
#include <QMessageBox>

namespace managertest {

template <typename Widget> QList<Widget*> topLevel()
{
    QList<Widget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* typed = qobject_cast<Widget*>(widget))
            found.append(typed);
    }
    return found;
}

inline QList<Addonsmanager*> managerWindows()
{
    return topLevel<Addonsmanager>();
}

inline QList<QMessageBox*> messageBoxes()
{
    return topLevel<QMessageBox>();
}

// What a view shows, row by row; a marker when it has no view or model.
inline QStringList entries(const QWidget* window, const QString& viewName)
{
    const auto* view = window->findChild<QListView*>(viewName);
    if (!view)
        return {QStringLiteral("<no view>")};
    const QAbstractItemModel* model = view->model();
    if (!model)
        return {QStringLiteral("<no model>")};
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown.append(model->index(row, 0).data(Qt::DisplayRole).toString());
    return shown;
}

// The manager's loading box is shown without exec() but is modal all the
// same; it asks nothing and must be left alone.
inline void ignoreLoadingBox(ModalAnswerer& answerer)
{
    answerer.setIgnored([](QMessageBox* box) { return box->windowTitle() == QStringLiteral("加载中-ORVA"); });
}

// The five start lists, empty.
inline bool writeEmptyStartLists(const TempWorkspace& workspace)
{
    for (const char* list : {"Listener", "Controller", "Runner", "Structure", "MainControllerExtension"}) {
        if (!workspace.writeFile(QStringLiteral("Start/%1.etl").arg(QLatin1String(list)), QByteArray()))
            return false;
    }
    return true;
}

} // namespace managertest
