// CUserInfoDlg: the rules of the "My Profile" dialog. The upper part shows the
// member's own data from the sign-in document kept since start-up; the lower
// part shows, per zone and for all zones, the member's score and rank from
// GetUserScoresByUserID. The dialog only displays; failures show their
// message and leave what was filled so far.
#pragma once

#include "site_config.h"

#include <QObject>
#include <QString>

namespace quillora::platform {
class MessageBoxes;
} // namespace quillora::platform

namespace quillora::mail {

// Rows of the upper part, in the order they are shown.
enum class ProfileLine : int { UserName, Nickname, Credit, Points, QuestionHistory, AnswerHistory };
inline constexpr int kProfileLineCount = 6;

inline constexpr int kScoreRows = 7;
inline constexpr int kRankPictureCount = 10;

// Sign-in User record positions of the upper part.
inline constexpr int kInfoUserNameField = 1;
inline constexpr int kInfoNicknameField = 3;
inline constexpr int kInfoHeadImageField = 4;
inline constexpr int kInfoPointsField = 5;
inline constexpr int kInfoCreditField = 7;
inline constexpr int kInfoQuestionHistoryField = 13;
inline constexpr int kInfoAnswerHistoryField = 14;
// Scores User record positions.
inline constexpr int kScoreValueField = 1;
inline constexpr int kScoreZoneField = 2;
inline constexpr int kScoreRankField = 3;

// The rank picture (1..10) for a rank; 0 (none) outside 1..10.
int rankPicture(int rank);
// The built-in head picture (1..24) the upper part shows; 0 (none) outside 1..24.
int profileHeadPicture(int headImageNumber);

class UserInfoView {
  public:
    virtual ~UserInfoView() = default;
    virtual void setProfileLine(ProfileLine line, const QString &text) = 0;
    virtual void setHeadPicture(int picture) = 0; // 1..24, 0 for none
    // Row 0..6: zone name, score, rank picture (1..10, 0 for none).
    virtual void setScoreRow(int row, const QString &zone, const QString &score, int rankPicture) = 0;
    virtual QObject *messageOwner() = 0;
};

class CUserInfoDlg {
  public:
    CUserInfoDlg(const service::SiteAddress &site, UserInfoView &view, platform::MessageBoxes &messages,
                 QString userDocument, int userID);

    // Fills the upper part, then the score table.
    void onInitDialog();

    static QString captionText() { return QStringLiteral("My Profile"); }

  private:
    void message(const QString &text);

    service::SiteAddress m_site;
    UserInfoView &m_view;
    platform::MessageBoxes &m_messages;
    QString m_userDocument;
    int m_userID;
};

} // namespace quillora::mail
