#include "ui/SpeedTestWindow.h"

#include "localization/Lookup.h"
#include "ui/ScreenFit.h"
#include "ui/SpeedTestView.h"

#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace ondrel {

SpeedTestWindow::SpeedTestWindow(SpeedTestView* content, QWidget* parent) : QDialog(parent), content_(content)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(L("速度テスト", "Speed Test"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // Tab goes to the content's controls; the area scrolls to the focused one.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(content);
    column->addWidget(scroll);
    connect(content, &SpeedTestView::closeRequested, this, &QDialog::reject);

    // The whole content where the screen has room for it; room for a scroll
    // bar beside it where it has not.
    content->ensurePolished();
    const int across = std::max(content->sizeHint().width(), content->minimumWidth());
    const int down = content->hasHeightForWidth() ? content->heightForWidth(across) : content->sizeHint().height();
    const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    const QSize room = screenRoom(this);
    setMinimumSize(QSize(across + bar, std::min(down, 240)).boundedTo(room));
    fitToScreen(this, QSize(across + (down > room.height() ? bar : 0), down));
    content->focusFirstAction();
}

} // namespace ondrel
