#include "user_info_dlg.h"

#include "result_document.h"
#include "varnel_services.h"

#include "platform/message_box.h"

namespace quillora::mail {

using service::CVarnelServices;
using service::DocumentStatus;
using service::Op;

int rankPicture(int rank)
{
    return rank >= 1 && rank <= kRankPictureCount ? rank : 0;
}

int profileHeadPicture(int headImageNumber)
{
    return headImageNumber >= 1 && headImageNumber <= 24 ? headImageNumber : 0;
}

CUserInfoDlg::CUserInfoDlg(const service::SiteAddress &site, UserInfoView &view, platform::MessageBoxes &messages,
                           QString userDocument, int userID)
    : m_site(site), m_view(view), m_messages(messages), m_userDocument(std::move(userDocument)), m_userID(userID)
{
}

void CUserInfoDlg::message(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CUserInfoDlg::onInitDialog()
{
    const service::DocumentRecords user =
        service::readRecords(m_userDocument, service::kUserTag, 1, service::kSignInUserFields);
    if (user.status != DocumentStatus::Ok) {
        message(service::documentStatusMessage(user.status));
        return;
    }
    if (!user.records.empty()) {
        const service::DocumentRecord &r = user.records.front();
        const auto line = [&](ProfileLine l, int field) {
            QString text;
            service::takeField(r, field, text);
            m_view.setProfileLine(l, text);
        };
        line(ProfileLine::UserName, kInfoUserNameField);
        line(ProfileLine::Nickname, kInfoNicknameField);
        int head = 0;
        service::takeField(r, kInfoHeadImageField, head);
        m_view.setHeadPicture(profileHeadPicture(head));
        line(ProfileLine::Credit, kInfoCreditField);
        line(ProfileLine::Points, kInfoPointsField);
        line(ProfileLine::QuestionHistory, kInfoQuestionHistoryField);
        line(ProfileLine::AnswerHistory, kInfoAnswerHistoryField);
    }

    QString scores;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::GetUserScoresByUserID);
        if (!service::succeeded(proxy.GetUserScoresByUserID(m_userID, &scores))) {
            message(QStringLiteral("Failed to get your score and rank information from remote server !"));
            return;
        }
    }
    const service::DocumentRecords rows =
        service::readRecords(scores, service::kUserTag, kScoreRows, service::kScoreFields);
    if (rows.status != DocumentStatus::Ok) {
        message(service::documentStatusMessage(rows.status));
        return;
    }
    int row = 0;
    for (const service::DocumentRecord &r : rows.records) {
        QString zone, score;
        int rank = 0;
        service::takeField(r, kScoreZoneField, zone);
        service::takeField(r, kScoreValueField, score);
        service::takeField(r, kScoreRankField, rank);
        m_view.setScoreRow(row++, zone, score, rankPicture(rank));
    }
}

} // namespace quillora::mail
