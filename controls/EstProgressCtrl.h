// A progress bar that writes over itself how much is done and when the work will end.
#pragma once

#include "controls/ProgressEstimate.h"

#include <QDateTime>
#include <QWidget>

#include <functional>

namespace tavrin::controls {

class CEstProgressCtrl : public QWidget
{
    Q_OBJECT
public:
    // Returns the current local time. The default reads the system clock to the second.
    using Clock = std::function<QDateTime()>;

    explicit CEstProgressCtrl(QWidget* parent = nullptr);

    // A new range starts a new estimate.
    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }

    void ResetEstimate();

    // Empty until the first paint with a position above zero.
    virtual QString GetEstimateText() const;

    // Tests give a clock of their own; an empty function restores the system clock.
    void SetClock(Clock clock);

    int value() const { return m_position; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Clamped into the range, as a native progress bar does; repaints on change.
    void setValue(int position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RefreshEstimate();

    ProgressEstimate m_estimate;
    Clock m_clock;
    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
};

} // namespace tavrin::controls
