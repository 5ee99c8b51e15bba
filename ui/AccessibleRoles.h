#pragma once

namespace ondrel {

// Gives the program's own widgets the roles screen readers expect: the
// network list with its rows (NetworkListAccessible), banners and
// announcements as alerts (read out when they appear), one-line labels as
// labels, the chart as a chart, the current-network card as a panel and thin
// lines as separators rather than frames (which a screen reader takes for
// windows). Installs itself once; every widget that needs it calls it.
void installAccessibleRoles();

} // namespace ondrel
