#include "ORVA.h"

#include "StartupLauncher.h"
#include "StartupNotices.h"
#include "ui_ORVA.h"

#include <QMessageBox>

ORVA::ORVA(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::ORVA>())
{
    // The first notice's box lives on as the loading notice until the form is built.
    QMessageBox notice;
    startup::showNotices(notice);
    startup::showLoadingNotice(notice);
    startup::launchStartupExtensions(notice);
    notice.close();

    m_ui->setupUi(this);
    removeCloseButton();
}

ORVA::~ORVA() = default;

void ORVA::removeCloseButton()
{
    // Without CustomizeWindowHint the toolkit puts the default title-bar
    // controls back; with it, exactly the hints given here are shown.
    setWindowFlags((windowFlags() & ~Qt::WindowCloseButtonHint) | Qt::CustomizeWindowHint);
}
