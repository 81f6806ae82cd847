// The "My Profile" dialog: the member's own data above, the table of scores
// and member ranks per zone below, and "OK". All rules are in
// mail::CUserInfoDlg; this widget shows.
#pragma once

#include "platform/message_box.h"

#include "user_info_dlg.h"

#include <QDialog>

#include <array>
#include <memory>

class QLabel;
class QTableWidget;

namespace quillora::ui {

// Member rank picture 1..10 (64x12); a null pixmap for other numbers. Call
// initResources() (ui_resources.h) first.
QPixmap rankPixmap(int rank);

class UserInfoDialog : public QDialog, public mail::UserInfoView {
    Q_OBJECT
  public:
    UserInfoDialog(const service::SiteAddress &site, platform::MessageBoxes &messages, const QString &userDocument,
                   int userID, QWidget *parent = nullptr);
    ~UserInfoDialog() override;

    QLabel *lineLabel(mail::ProfileLine line) const { return m_lines[size_t(line)]; }
    QLabel *headLabel() const { return m_head; }
    QTableWidget *scoreTable() const { return m_table; }

    // mail::UserInfoView
    void setProfileLine(mail::ProfileLine line, const QString &text) override;
    void setHeadPicture(int picture) override;
    void setScoreRow(int row, const QString &zone, const QString &score, int rankPicture) override;
    QObject *messageOwner() override { return this; }

  private:
    std::array<QLabel *, mail::kProfileLineCount> m_lines{};
    QLabel *m_head = nullptr;
    QTableWidget *m_table = nullptr;
    std::unique_ptr<mail::CUserInfoDlg> m_rules;
};

// Opens "My Profile" modally over `parent`.
void execUserInfoDialog(const service::SiteAddress &site, platform::MessageBoxes &messages, const QString &userDocument,
                        int userID, QWidget *parent);

} // namespace quillora::ui
