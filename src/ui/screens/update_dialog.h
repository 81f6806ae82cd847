// CUpdateDlg: "Update Information", offering the newer version the update
// check found. Modal; "Yes" ends it accepted.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillora::ui {

class CUpdateDlg : public QDialog {
    Q_OBJECT
  public:
    CUpdateDlg(const QString &currentVersion, const QString &latestVersion, QWidget *parent = nullptr);

    QLabel *currentLine() const { return m_current; }
    QLabel *latestLine() const { return m_latest; }
    QPushButton *yesButton() const { return m_yes; }
    QPushButton *noButton() const { return m_no; }

  private:
    QLabel *m_current = nullptr;
    QLabel *m_latest = nullptr;
    QPushButton *m_yes = nullptr;
    QPushButton *m_no = nullptr;
};

} // namespace quillora::ui
