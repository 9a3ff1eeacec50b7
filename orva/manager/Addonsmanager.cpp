#include "Addonsmanager.h"

#include "ExtensionActions.h"
#include "InstallAction.h"
#include "ManagerWindow.h"
#include "MessageBoxes.h"
#include "ui_Addonsmanager.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
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
    const std::array<StartListView, 5> lists = {{
        {"Listener", "./Start/Listener.etl", m_ui->listView},
        {"Controller", "./Start/Controller.etl", m_ui->listView_2},
        {"Runner", "./Start/Runner.etl", m_ui->listView_3},
        {"Structure", "./Start/Structure.etl", m_ui->listView_4},
        {"MainControllerExtension", "./Start/MainControllerExtension.etl", m_ui->listView_5},
    }};

    QMessageBox loading;
    loading.setWindowTitle(QStringLiteral("加载中-ORVA"));
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const StartListView& list = lists[i];
        loading.setText(QStringLiteral("正在加载%1扩展...").arg(QLatin1String(list.listName)));
        if (i == 0)
            loading.show();
        else
            QCoreApplication::processEvents();
        m_listed[i] = manager::showStartList(list.path, list.view);
        QListView* view = list.view;
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, view] { m_lastChosenView = view; });
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

void Addonsmanager::on_pushButton_2_clicked()
{
    if (const std::optional<manager::ListedExtension> selection = selectedExtension())
        manager::openExtensionFolder(selection->id);
}

void Addonsmanager::on_pushButton_3_clicked()
{
    const std::optional<manager::ListedExtension> selection = selectedExtension();
    if (selection && manager::removeExtension(selection->id, selection->name))
        loadStartLists();
}

std::optional<manager::ListedExtension> Addonsmanager::selectedExtension() const
{
    const std::array<QListView*, 5> views = {m_ui->listView, m_ui->listView_2, m_ui->listView_3,
                                             m_ui->listView_4, m_ui->listView_5};
    for (std::size_t i = 0; i < views.size(); ++i) {
        QListView* view = views[i];
        const QModelIndex current = view->currentIndex();
        if (view != m_lastChosenView || !current.isValid() || !view->selectionModel()->isSelected(current) ||
            current.row() >= m_listed[i].size())
            continue;
        return m_listed[i].at(current.row());
    }
    boxes::showInformation(QStringLiteral("ORVA"), QStringLiteral("请先在列表中选择一个扩展。"));
    return std::nullopt;
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
