#include "app/chartview.h"

#include <QMouseEvent>
#include <QPainter>

#include "graph/chartrenderer.h"

namespace quorvel {

ChartView::ChartView(const ChartModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setContextMenuPolicy(Qt::CustomContextMenu);
}

void ChartView::paintEvent(QPaintEvent*) {
  // Drawn at the screen's pixel density: on a screen of two device pixels
  // per pixel the same layout comes out with twice the detail, not
  // stretched. The layout itself (fonts, margins) is that of size().
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (m_image.size() != pixels || m_image.devicePixelRatio() != ratio ||
      m_drawnVersion != m_model.version) {
    if (ratio == 1.0) {
      m_image = ChartRenderer::Render(size(), m_model);
    } else if (!pixels.isEmpty()) {
      m_image = QImage(pixels, QImage::Format_RGB32);
      m_image.setDevicePixelRatio(ratio);
      QPainter painter(&m_image);
      ChartRenderer::Draw(painter, size(), m_model);
    } else {
      m_image = QImage();
    }
    m_drawnVersion = m_model.version;
  }
  QPainter painter(this);
  painter.drawImage(0, 0, m_image);
}

void ChartView::mousePressEvent(QMouseEvent* event) { emit mousePressed(event); }
void ChartView::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(event); }
void ChartView::mouseReleaseEvent(QMouseEvent* event) { emit mouseReleased(event); }

}  // namespace quorvel
