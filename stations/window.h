// The station window (Qt Widgets), for the panel and for tests that drive
// it: one table of the entries, a search field, the views "On air now"
// and "At this frequency", and the memory channels.
#pragma once

class QWidget;

// The window while it is open, else null.
QWidget* stationsWindow();
