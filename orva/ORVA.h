#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class ORVA;
}

// ORVA's main window. Its constructor runs the whole start-up: the notices,
// the loading notice and the start-up launcher; only then is the form built.
class ORVA : public QMainWindow
{
    Q_OBJECT

public:
    explicit ORVA(QWidget* parent = nullptr);
    ~ORVA() override;

private:
    void removeCloseButton();

    std::unique_ptr<Ui::ORVA> m_ui;
};
