#pragma once
// What screen readers and magnifiers learn of the document editor over the accessibility bus: its text,
// caret and selection, and where each character stands on screen in either writing direction (in
// vertical writing the characters run down the columns, right to left).

namespace zv {

// Installs the accessibility factory that gives every Editor its interface. Idempotent.
void installEditorAccessibility();

} // namespace zv
