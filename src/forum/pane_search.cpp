#include "pane_search.h"

#include "main_frame.h"
#include "platform/message_box.h"
#include "zone_catalogue.h"
#include "zone_view.h"

#include <climits>

namespace quillora::forum {

QString invalidQuestionIdMessage()
{
    return QStringLiteral("You have entered an invalid Question ID !");
}

QString missingUserNameMessage()
{
    return QStringLiteral("You must provide a member username !");
}

int questionIdFromText(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i].isSpace())
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            return 0; // a negative ID is no ID
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            return 0;
    }
    return static_cast<int>(value);
}

CPaneSearch::CPaneSearch(PaneSearchView &view, platform::MessageBoxes &messages, ZoneViewsSource zones)
    : m_view(view), m_messages(messages), m_zones(std::move(zones))
{
}

void CPaneSearch::onFirstShow()
{
    ensureCreated();
}

void CPaneSearch::ensureCreated()
{
    if (m_created)
        return;
    m_created = true;
    m_category = 0;
    m_view.setCategoryItems(searchCategoryLabels(), 0);
    fillColumns(0);
}

void CPaneSearch::followZone(int zoneIndex)
{
    const int category = firstCategoryOfZone(zoneIndex);
    if (category < 0)
        return;
    // The frame may pass the zone before the pane was ever shown; the first
    // fill runs now so that showing the pane later does not undo the choice.
    ensureCreated();
    m_category = category;
    m_view.setCategoryItems(searchCategoryLabels(), category);
    fillColumns(category);
}

void CPaneSearch::onCategoryChanged(int categoryIndex)
{
    if (!categoryAt(categoryIndex) || !m_created)
        return;
    m_category = categoryIndex;
    fillColumns(categoryIndex);
}

void CPaneSearch::onColumnChanged(int position)
{
    if (searchColumnId(m_category, position) == 0)
        return;
    m_position = position;
}

int CPaneSearch::selectedColumnId() const
{
    return searchColumnId(m_category, m_position);
}

void CPaneSearch::fillColumns(int categoryIndex)
{
    m_position = 0;
    m_view.setColumnItems(searchColumnLabels(categoryIndex), 0);
}

void CPaneSearch::showMessage(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::None, m_view.messageOwner());
}

bool CPaneSearch::onSearchById()
{
    const int id = questionIdFromText(m_view.questionIdText());
    if (id < 1) {
        showMessage(invalidQuestionIdMessage());
        m_view.focusQuestionIdSelectAll();
        return false;
    }
    presence::ZoneViews &zones = m_zones();
    zones.listFirstPage(zones.currentZoneIndex(), ModeSearchById, id, QString());
    return true;
}

bool CPaneSearch::onSearchByTitle()
{
    const int column = selectedColumnId();
    if (column == 0)
        return false;
    presence::ZoneViews &zones = m_zones();
    // The keyword goes out exactly as typed, an empty one included.
    zones.listFirstPage(zones.currentZoneIndex(), ModeSearchByTitle, column, m_view.keywordText());
    return true;
}

bool CPaneSearch::onSearchByAuthor()
{
    const QString name = m_view.userNameText().trimmed();
    if (name.isEmpty()) {
        showMessage(missingUserNameMessage());
        return false;
    }
    presence::ZoneViews &zones = m_zones();
    zones.listFirstPage(zones.currentZoneIndex(), ModeSearchByAuthor, kAuthorSearchForumId, name);
    return true;
}

} // namespace quillora::forum
