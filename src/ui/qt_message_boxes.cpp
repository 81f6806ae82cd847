#include "qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace quillora::ui {

platform::MessageAnswer QtMessageBoxes::show(const platform::MessageRequest &request)
{
    QWidget *owner = qobject_cast<QWidget *>(request.owner);
    QMessageBox box(owner);
    box.setWindowTitle(request.caption);
    // Texts may quote what a server or a file said: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(request.text);
    switch (request.icon) {
    case platform::MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case platform::MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case platform::MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case platform::MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case platform::MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (request.buttons) {
    case platform::MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case platform::MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case platform::MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return platform::MessageAnswer::Ok;
    case QMessageBox::Cancel:
        return platform::MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return platform::MessageAnswer::Yes;
    case QMessageBox::No:
        return platform::MessageAnswer::No;
    default:
        // A box closed by its window's close button answers as its escape button.
        return request.buttons == platform::MessageButtons::Ok      ? platform::MessageAnswer::Ok
               : request.buttons == platform::MessageButtons::YesNo ? platform::MessageAnswer::No
                                                                    : platform::MessageAnswer::Cancel;
    }
}

} // namespace quillora::ui
