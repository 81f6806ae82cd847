// The signed-in member's working values, taken by position from the first
// User record of the sign-in document. Every other screen reads the member's
// user ID, user name, password, nickname and head image number from here.
#pragma once

#include "result_document.h"

#include <QString>

#include <optional>

namespace quillora::presence {

// Field positions in the sign-in User record.
inline constexpr int kUserIdField = 0;
inline constexpr int kUserNameField = 1;
inline constexpr int kPasswordField = 2;
inline constexpr int kNicknameField = 3;
inline constexpr int kHeadImageField = 4;
inline constexpr int kPointsField = 5;
inline constexpr int kCreditField = 7;
inline constexpr int kEmailField = 8;
inline constexpr int kRoleField = 15;
inline constexpr int kLevelField = 17;

// Levels that have a badge and divide the poll interval.
inline constexpr int kMinLevel = 1;
inline constexpr int kMaxLevel = 10;
// Members whose role is below this may use the moderators' entry.
inline constexpr int kModeratorRoleLimit = 4;

struct MemberValues {
    int userID = 0;
    QString userName;
    QString password;
    QString nickname;
    QString email;
    int headImage = 0;
    int points = 0;
    QString pointsText; // the element's text, as the status bar shows it
    int credit = 0;
    QString creditText;
    std::optional<int> role; // unknown when the record is too short
    int level = 0;           // 0 when the record is too short

    // A member whose role is unknown is not offered the moderators' entry.
    bool mayEnterAsModerator() const { return role.has_value() && *role < kModeratorRoleLimit; }
};

// Reads every working value from the first User record of `document`. Fields
// the record does not have keep their current value; a document without a
// User record changes nothing. Returns the document's status.
service::DocumentStatus readMemberValues(const QString &document, MemberValues &values);

// The status refresh: takes only points and credit (value and text) from the
// first User record of a fresh sign-in document.
service::DocumentStatus refreshPointsAndCredit(const QString &document, MemberValues &values);

// Timer 1: 1 200 000 ms divided by the level (integer division); a level
// outside 1..10 polls every 20 minutes.
int pollIntervalForLevel(int level);
// The badge shown for a level: the level itself for 1..10, 0 (no badge) otherwise.
int badgeForLevel(int level);

} // namespace quillora::presence
