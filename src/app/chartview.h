#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

#include "graph/chartmodel.h"

namespace quorvel {

// The graph on screen. It draws the model through the chart renderer into an
// off-screen image at the screen's device pixel ratio and shows that image
// whole; the image is drawn again only when the model, the size or the
// ratio has changed. Mouse presses, moves and releases
// are passed on as signals; the window decides what they do.
//
// The model is the main window's and must outlive the view.
class ChartView : public QWidget {
  Q_OBJECT

 public:
  ChartView(const ChartModel& model, QWidget* parent = nullptr);

  // Call after changing the model.
  void refresh() { update(); }

 signals:
  void mousePressed(QMouseEvent* event);
  void mouseMoved(QMouseEvent* event);
  void mouseReleased(QMouseEvent* event);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  const ChartModel& m_model;
  QImage m_image;
  std::uint64_t m_drawnVersion = ~0ull;
};

}  // namespace quorvel
