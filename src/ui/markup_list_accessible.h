// What assistive technology sees of a CMarkupListCtrl: a list whose rows are
// children named by their plain text (markup tags removed), with their
// selection, check state and place on the screen. Installed once, by the
// first list created.
#pragma once

class QObject;
class QString;
class QAccessibleInterface;

namespace quillora::ui {

class CMarkupListCtrl;

void installMarkupListAccessibility();
// Tells assistive technology that the selected row changed (focus follows it).
void announceMarkupListSelection(CMarkupListCtrl *list, int index);

} // namespace quillora::ui
