#include "qt_file_prompts.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace quillora::ui {

QString QtFilePrompts::openFileName(const platform::FilePromptRequest &request)
{
    auto *owner = qobject_cast<QWidget *>(request.owner);
    const QString path = QFileDialog::getOpenFileName(owner, request.caption, QString(), request.filter);
    // The dialog already insists on an existing file; a file removed since
    // counts as no choice.
    return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

QString QtFilePrompts::saveFileName(const platform::SaveFileRequest &request)
{
    static QString lastFolder = QDir::homePath();
    QWidget *owner = qobject_cast<QWidget *>(request.owner);
    const QString path =
        QFileDialog::getSaveFileName(owner, request.caption, QDir(lastFolder).filePath(request.proposedName),
                                     request.filter, nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        lastFolder = QFileInfo(path).absolutePath();
    return path;
}

} // namespace quillora::ui
