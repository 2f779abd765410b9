#pragma once

// Tells screen readers what the panel's own widgets are: each command a
// button, or a menu button whose list is its child (so the list is in the
// tree even before it opens, and a reader can choose an item there); each
// stick one list item named with its name, time and free space, with an
// "apri" action; the sticks together a list. Every scroll area of the
// program is read as its child widgets, so that a child asked for by index
// while the area's scroll bars come and go is never looked for past the end.
// Safe to call more than once.
void installaAccessibilitaPannello();
