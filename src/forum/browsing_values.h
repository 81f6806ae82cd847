// The browsing values the four zone views share with the rest of the program:
// which zone tab is active, which column is current, which question was
// opened last, and which of the member's own questions was opened last.
//
// One object for the whole process, created by the application and passed by
// reference to every screen that writes or reads it (zone views, main frame,
// posting dialogs, expert panes, mail dialogs). There is no global instance.
// Everything runs on the user-interface thread; there are no locks.
#pragma once

#include "zone_catalogue.h"

#include <QString>

namespace quillora::forum {

struct BrowsingValues {
    // Active zone tab, 0..3; set by tab selection.
    int currentZoneIndex = 0;
    // Column ID (1..41) or -1; set by a tree double-click and by opening a row
    // of another zone's question. May hold any value a document's ColumnID
    // cell gave; readers check the range.
    int currentColumn = -1;
    // The question opened last (cell 0 of the row) or -1, and its title.
    int selectedQuestionId = -1;
    QString selectedQuestionTitle;
    // The member's own question opened last, or -1, and its points.
    int mySelectedQuestionId = -1;
    int mySelectedQuestionPoints = 0;

    // A column has been chosen (the "Ask Question" check).
    bool hasCurrentColumn() const { return currentColumn >= 0; }
    // A question has been opened (the "Answer Question" check).
    bool hasSelectedQuestion() const { return selectedQuestionId >= 0; }
    // The current column is one of the zone's columns (the refresh check).
    bool currentColumnInZone(int zoneIndex) const { return columnInZone(currentColumn, zoneIndex); }

    // Back to the values at start-up (a new session).
    void reset() { *this = BrowsingValues(); }
};

} // namespace quillora::forum
