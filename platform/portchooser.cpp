// The port chooser on Qt Widgets.
#include "platform/portchooser.h"

#include "platform/accessible.h"
#include "platform/dialog_internal.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace dialog_internal;

BOOL ChoosePortDialog(HWND hOwner, const std::vector<SERIALPORT>& ports, LPCSTR szCurrent,
                      std::string* pChosen) {
    ensureApplication();
    UiWindow* owner = uiWindowOf(hOwner);
    QDialog dialog(owner ? owner->widget() : nullptr);
    dialog.setObjectName("portChooser");
    dialog.setWindowTitle("Port");
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(&dialog);

    auto* listLabel = new QLabel("Serial &ports present:", &dialog);
    layout->addWidget(listLabel);
    auto* list = new QListWidget(&dialog);
    listLabel->setBuddy(list);
    accessible::nameControl(list, "Serial ports present",
                            "Choosing a port puts its name in the port name field");
    list->setObjectName("ports");
    for (const SERIALPORT& port : ports) {
        QString text = QString::fromStdString(port.szName);
        if (!port.szDescription.empty())
            text += "\n    " + QString::fromStdString(port.szDescription);
        auto* item = new QListWidgetItem(text, list);
        item->setData(Qt::UserRole, QString::fromStdString(port.szName));
    }
    if (ports.empty()) {
        auto* item = new QListWidgetItem("(none found)", list);
        item->setFlags(Qt::NoItemFlags);
    }
    list->setMinimumWidth(420);
    layout->addWidget(list);

    auto* nameLabel = new QLabel("Port &name (a path, COMn, or a name under /dev):", &dialog);
    layout->addWidget(nameLabel);
    auto* name = new QLineEdit(QString::fromUtf8(szCurrent ? szCurrent : ""), &dialog);
    nameLabel->setBuddy(name);
    accessible::nameControl(name, "Port name", "A path, COMn, or a name under /dev");
    name->setObjectName("name");
    layout->addWidget(name);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::currentItemChanged, &dialog,
                     [name](QListWidgetItem* item) {
                         if (item)
                             name->setText(item->data(Qt::UserRole).toString());
                     });
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog,
                     [&dialog, name](QListWidgetItem* item) {
                         name->setText(item->data(Qt::UserRole).toString());
                         dialog.accept();
                     });
    const auto refreshOk = [buttons, name] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!name->text().isEmpty());
    };
    QObject::connect(name, &QLineEdit::textChanged, &dialog, refreshOk);
    refreshOk();
    name->setFocus();

    // The chooser runs its own event loop, as a message box does: posted
    // messages keep reaching the dialog procedure while it is open.
    const QPointer<QWidget> focusBefore = QApplication::focusWidget();
    const int answer = dialog.exec();
    restoreFocus(owner ? owner->widget() : nullptr, focusBefore);
    if (answer != QDialog::Accepted || name->text().isEmpty())
        return FALSE;
    if (pChosen)
        *pChosen = name->text().toStdString();
    return TRUE;
}
