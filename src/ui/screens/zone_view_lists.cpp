// The zone view's lists as the rules fill them: the questions of the page
// shown, the announcements, and the online experts with their pictures and
// badges (a click opens the expert's profile).
#include "zone_view_widget.h"

#include "head_image_pictures.h"
#include "markup_list_ctrl.h"
#include "plain_tool_tip.h"
#include "result_document.h"
#include "zone_view_parts.h"

#include <QListWidget>
#include <QTreeWidget>

namespace quillora::ui {

using namespace zone_parts;

ExpertProfile ZoneViewWidget::expertProfileOf(const forum::OnlineExpert &expert)
{
    ExpertProfile profile;
    const QStringList &f = expert.fields;
    auto text = [&f](int i) { return i < f.size() ? f.at(i) : QString(); };
    auto number = [&f](int i) { return i < f.size() ? service::leadingInt(f.at(i)) : 0; };
    profile.customImageName = text(0);
    profile.userName = text(1);
    profile.nickname = text(2);
    profile.headImage = number(4);
    profile.credit = text(5);
    profile.zoneRank = number(6);
    profile.expertArea = number(7);
    profile.customFlag = number(8);
    return profile;
}

void ZoneViewWidget::openExpertProfile(int index)
{
    const QList<forum::OnlineExpert> &experts = m_rules->onlineExperts();
    if (index < 0 || index >= experts.size())
        return;
    CExpertInfo dialog(expertProfileOf(experts.at(index)), m_faceDirectory, this);
    m_runDialog(dialog);
}

void ZoneViewWidget::setPostRows(const QList<QStringList> &rows)
{
    m_posts->setUpdatesEnabled(false);
    m_posts->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(rows.size());
    for (const QStringList &cells : rows) {
        auto *item = new QTreeWidgetItem;
        for (int c = 0; c < forum::kPostCellCount && c < cells.size(); ++c) {
            item->setText(c, cells.at(c));
            const bool centred = c >= forum::CellMember && c <= forum::CellDate;
            item->setTextAlignment(c, centred ? Qt::Alignment(Qt::AlignCenter) : Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (cells.size() > forum::CellTitle)
            item->setToolTip(forum::CellTitle, plainToolTip(cells.at(forum::CellTitle)));
        items.append(item);
    }
    m_posts->addTopLevelItems(items);
    m_posts->setUpdatesEnabled(true);
}

void ZoneViewWidget::setAnnouncementRows(const QList<forum::AnnouncementRow> &rows)
{
    m_announcements->DeleteAllItems();
    const int height = forum::announcementRowHeight(m_screen.height());
    for (const forum::AnnouncementRow &row : rows)
        m_announcements->AddItem(row.title, row.kindNumber(), CMarkupListCtrl::MarkupText, height);
}

void ZoneViewWidget::setOnlineExperts(const QList<forum::OnlineExpert> &experts)
{
    m_experts->clear();
    for (int t = 0; t < experts.size() && t < forum::kOnlineExpertsMax; ++t) {
        const forum::OnlineExpert &expert = experts.at(t);
        m_pictures[t] = expertPicture(expert, m_pictures.at(t));
        auto *item = new QListWidgetItem(expert.nickname, m_experts);
        item->setData(Qt::DecorationRole, m_pictures.at(t));
        item->setData(BadgeRole, badgePixmap(expert.badge));
        QString tip = expert.nickname;
        if (expert.fields.size() > 1 && !expert.fields.at(1).isEmpty())
            tip = expert.fields.at(1) + QStringLiteral(" (") + expert.nickname + QStringLiteral(")");
        item->setToolTip(plainToolTip(tip));
    }
}

void ZoneViewWidget::setOnlineExpertPicture(int index, const forum::OnlineExpert &expert)
{
    QListWidgetItem *item = m_experts->item(index);
    if (!item || index >= m_pictures.size())
        return;
    m_pictures[index] = expertPicture(expert, m_pictures.at(index));
    item->setData(Qt::DecorationRole, m_pictures.at(index));
}

} // namespace quillora::ui
