#include "Addonsmanager.h"

#include "ExtensionActions.h"
#include "InstallAction.h"
#include "LatestManagerWindow.h"
#include "gui/MessageBox.h"
#include "orva/extensions/ExtensionLayout.h"
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

std::array<QListView*, 5> Addonsmanager::views() const
{
    // One view per start list, in the layout's order of the roles.
    return {m_ui->listView, m_ui->listView_2, m_ui->listView_3, m_ui->listView_4, m_ui->listView_5};
}

void Addonsmanager::loadStartLists()
{
    QMessageBox loading;
    loading.setWindowTitle(QStringLiteral("加载中-ORVA"));
    for (std::size_t i = 0; i < extensions::kAllRoles.size(); ++i) {
        const extensions::Role role = extensions::kAllRoles[i];
        loading.setText(QStringLiteral("正在加载%1扩展...").arg(QLatin1String(extensions::roleName(role))));
        if (i == 0)
            loading.show();
        else
            QCoreApplication::processEvents();
        QListView* view = views()[i];
        m_listed[i] = manager::showStartList(extensions::startListPath(role, '/'), view);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, view] { m_lastChosenView = view; });
    }
    loading.close();
    QCoreApplication::processEvents();
}

// 添加
void Addonsmanager::on_pushButton_clicked()
{
    // The installer changed the start lists: the window goes, and the user
    // opens the manager again to see them as they are now.
    if (manager::installPackFromDialog())
        destroyWindow();
}

// 确定
void Addonsmanager::on_pushButton_5_clicked()
{
    destroyWindow();
}

// 配置
void Addonsmanager::on_pushButton_2_clicked()
{
    if (const std::optional<manager::ListedExtension> selection = selectedExtension())
        manager::openExtensionFolder(selection->id);
}

// 删除
void Addonsmanager::on_pushButton_3_clicked()
{
    const std::optional<manager::ListedExtension> selection = selectedExtension();
    if (selection && manager::removeExtension(selection->id, selection->name))
        loadStartLists();
}

std::optional<manager::ListedExtension> Addonsmanager::selectedExtension() const
{
    const std::array<QListView*, 5> all = views();
    for (std::size_t i = 0; i < all.size(); ++i) {
        QListView* view = all[i];
        const QModelIndex current = view->currentIndex();
        if (view != m_lastChosenView || !current.isValid() || !view->selectionModel()->isSelected(current) ||
            current.row() >= m_listed[i].size())
            continue;
        return m_listed[i].at(current.row());
    }
    gui::MessageBox::information(QStringLiteral("ORVA"), QStringLiteral("请先在列表中选择一个扩展。"));
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
