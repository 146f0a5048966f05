#pragma once

#include <QBasicTimer>
#include <QWidget>

#include <memory>

class CDrawing;

// The progress dialog's animation: a sheet flying from one folder to the
// other, looping while the widget is shown. The drawing comes from a clip
// (res/anim) holding the elements "scene" and "sheet"; the widget moves the sheet.
class CCopyAnimation final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCopyAnimation)

public:
    static constexpr int FRAME_COUNT = 36;   // one loop
    static constexpr int MOVING_FRAMES = 30; // then a short pause with no sheet
    static constexpr int FRAME_MS = 50;

    explicit CCopyAnimation(QWidget* parent = nullptr);
    ~CCopyAnimation() override;

    // Loads the clip; 0 when it cannot be read or lacks its elements, and the
    // widget then stays empty.
    int Open(const QString& clip);
    int IsOpen() const { return m_bOpen ? 1 : 0; }
    int Frame() const { return m_nFrame; }
    int IsPlaying() const { return m_timer.isActive() ? 1 : 0; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::unique_ptr<CDrawing> m_pDrawing;
    QBasicTimer m_timer;
    QRectF m_sheetBounds;
    int m_nFrame = 0;
    bool m_bOpen = false;
};
