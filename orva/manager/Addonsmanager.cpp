#include "Addonsmanager.h"

#include "InstallAction.h"
#include "ManagerWindow.h"
#include "StartListView.h"
#include "ui_Addonsmanager.h"

#include <QCoreApplication>
#include <QMessageBox>

Addonsmanager::Addonsmanager(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::Addonsmanager>())
{
    m_ui->setupUi(this);
    loadStartLists();
}

Addonsmanager::~Addonsmanager() = default;

void Addonsmanager::loadStartLists()
{
    struct StartListView
    {
        const char* listName;
        const char* path;
        QListView* view;
    };
    const StartListView lists[] = {
        {"Listener", "./Start/Listener.etl", m_ui->listView},
        {"Controller", "./Start/Controller.etl", m_ui->listView_2},
        {"Runner", "./Start/Runner.etl", m_ui->listView_3},
        {"Structure", "./Start/Structure.etl", m_ui->listView_4},
        {"MainControllerExtension", "./Start/MainControllerExtension.etl", m_ui->listView_5},
    };

    QMessageBox loading;
    loading.setWindowTitle(QStringLiteral("加载中-ORVA"));
    bool first = true;
    for (const StartListView& list : lists) {
        loading.setText(QStringLiteral("正在加载%1扩展...").arg(QLatin1String(list.listName)));
        if (first)
            loading.show();
        else
            QCoreApplication::processEvents();
        first = false;
        manager::showStartList(list.path, list.view);
    }
    loading.close();
    QCoreApplication::processEvents();
}

void Addonsmanager::on_pushButton_clicked()
{
    // The installer changed the start lists: the window goes, and the user
    // opens the manager again to see them as they are now.
    if (manager::installPackFromDialog())
        destroyWindow();
}

void Addonsmanager::on_pushButton_5_clicked()
{
    destroyWindow();
}

void Addonsmanager::destroyWindow()
{
    // Called from inside a click on one of this window's own buttons: hide now
    // and let the event loop delete it once the click has been handled.
    if (managerWindow() == this)
        managerWindow().clear();
    hide();
    deleteLater();
}
