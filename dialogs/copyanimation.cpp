#include "dialogs/copyanimation.h"

#include "dialogs/dlgsupport.h"
#include "res/drawing.h"

#include <QPainter>
#include <QTimerEvent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString kScene = u"scene"_s;
const QString kSheet = u"sheet"_s;
// The sheet's centre travels on this curve, in the clip's coordinates: from
// the first folder over the arc into the second.
const QPointF kFrom(44.0, 42.0);
const QPointF kOver(223.0, -10.0);
const QPointF kTo(402.0, 42.0);
} // namespace

// No background of its own: the dialog shows through.
CCopyAnimation::CCopyAnimation(QWidget* parent) : QWidget(parent) {}

CCopyAnimation::~CCopyAnimation() = default;

int CCopyAnimation::Open(const QString& clip)
{
    auto drawing = std::make_unique<CDrawing>();
    m_bOpen = drawing->Load(clip) && drawing->HasElement(kScene) && drawing->HasElement(kSheet);
    if (m_bOpen) {
        m_sheetBounds = drawing->BoundsOf(kSheet);
        m_pDrawing = std::move(drawing);
    } else {
        m_pDrawing.reset();
        m_timer.stop();
    }
    m_nFrame = 0;
    if (m_bOpen && isVisible())
        m_timer.start(FRAME_MS, this);
    update();
    return IsOpen();
}

QSize CCopyAnimation::sizeHint() const
{
    return {vqdlg::DluX(this, 223), vqdlg::DluY(this, 34)};
}

void CCopyAnimation::paintEvent(QPaintEvent*)
{
    if (!m_pDrawing)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The clip's view box, scaled to fit and centred.
    const QRectF box = m_pDrawing->ViewBox();
    const double scale = std::min(width() / box.width(), height() / box.height());
    painter.translate((width() - box.width() * scale) / 2.0, (height() - box.height() * scale) / 2.0);
    painter.scale(scale, scale);
    painter.translate(-box.topLeft());

    m_pDrawing->Render(&painter, kScene, m_pDrawing->BoundsOf(kScene));
    if (m_nFrame >= MOVING_FRAMES)
        return;
    // A quadratic curve; the sheet fades in and out at its ends.
    const double t = double(m_nFrame) / double(MOVING_FRAMES - 1);
    const QPointF centre = (1 - t) * (1 - t) * kFrom + 2 * (1 - t) * t * kOver + t * t * kTo;
    QRectF sheet(QPointF(), m_sheetBounds.size());
    sheet.moveCenter(centre);
    painter.setOpacity(std::clamp(std::min(t, 1.0 - t) * 6.0, 0.0, 1.0));
    m_pDrawing->Render(&painter, kSheet, sheet);
}

void CCopyAnimation::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId())
        return QWidget::timerEvent(event);
    m_nFrame = (m_nFrame + 1) % FRAME_COUNT;
    update();
}

void CCopyAnimation::showEvent(QShowEvent* event)
{
    // Plays by itself while shown; a hidden dialog costs nothing.
    if (m_bOpen)
        m_timer.start(FRAME_MS, this);
    QWidget::showEvent(event);
}

void CCopyAnimation::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}
