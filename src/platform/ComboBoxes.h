#pragma once

class QComboBox;

namespace ComboBoxes {

// Makes an editable combo box take typed text as it stands: no completion or change of case
// while typing, no entries added, and neither Return nor leaving the box picks the entry that
// matches what was typed. Only a pick from the list (or the arrow keys) selects an entry.
void takeTypedTextAsIs(QComboBox* box);

} // namespace ComboBoxes
