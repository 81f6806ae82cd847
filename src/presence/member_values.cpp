#include "member_values.h"

namespace quillora::presence {

using service::DocumentStatus;

namespace {

// The first User record, read with the sign-in field count; nullopt when the
// document has none or does not load.
std::optional<service::DocumentRecord> firstUserRecord(const QString &document, DocumentStatus &status)
{
    service::DocumentRecords read = service::readRecords(document, service::kUserTag, 1, service::kSignInUserFields);
    status = read.status;
    if (read.status != DocumentStatus::Ok || read.records.empty())
        return std::nullopt;
    return std::move(read.records.front());
}

void takePointsAndCredit(const service::DocumentRecord &record, MemberValues &values)
{
    service::takeField(record, kPointsField, values.points);
    service::takeField(record, kPointsField, values.pointsText);
    service::takeField(record, kCreditField, values.credit);
    service::takeField(record, kCreditField, values.creditText);
}

} // namespace

DocumentStatus readMemberValues(const QString &document, MemberValues &values)
{
    DocumentStatus status = DocumentStatus::Ok;
    const std::optional<service::DocumentRecord> record = firstUserRecord(document, status);
    if (!record)
        return status;
    service::takeField(*record, kUserIdField, values.userID);
    service::takeField(*record, kUserNameField, values.userName);
    service::takeField(*record, kPasswordField, values.password);
    service::takeField(*record, kNicknameField, values.nickname);
    service::takeField(*record, kHeadImageField, values.headImage);
    service::takeField(*record, kEmailField, values.email);
    takePointsAndCredit(*record, values);
    if (kRoleField < record->size()) {
        int role = 0;
        service::takeField(*record, kRoleField, role);
        values.role = role;
    }
    service::takeField(*record, kLevelField, values.level);
    return status;
}

DocumentStatus refreshPointsAndCredit(const QString &document, MemberValues &values)
{
    DocumentStatus status = DocumentStatus::Ok;
    if (const std::optional<service::DocumentRecord> record = firstUserRecord(document, status))
        takePointsAndCredit(*record, values);
    return status;
}

int pollIntervalForLevel(int level)
{
    constexpr int kBaseIntervalMs = 1200000;
    if (level < kMinLevel || level > kMaxLevel)
        return kBaseIntervalMs;
    return kBaseIntervalMs / level;
}

int badgeForLevel(int level)
{
    return level >= kMinLevel && level <= kMaxLevel ? level : 0;
}

} // namespace quillora::presence
