#pragma once
// The program's icons and its tool bar image, painted here rather than
// loaded: a magnifier over a page for the program and its frames, the same
// with a list for the rough-analysis window, and a folder for Open.
#include <QIcon>

QIcon MainFrameIcon();        // the program and the main frame
QIcon DocumentIcon();         // detailed-analysis windows
QIcon RoughAnalysisIcon();    // the rough-analysis window
QIcon OpenButtonIcon();       // the Open button, 16 x 15
