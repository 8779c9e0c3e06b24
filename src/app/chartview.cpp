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
  if (m_image.size() != size() || m_drawnVersion != m_model.version) {
    m_image = ChartRenderer::Render(size(), m_model);
    m_drawnVersion = m_model.version;
  }
  QPainter painter(this);
  painter.drawImage(0, 0, m_image);
}

void ChartView::mousePressEvent(QMouseEvent* event) { emit mousePressed(event); }
void ChartView::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(event); }
void ChartView::mouseReleaseEvent(QMouseEvent* event) { emit mouseReleased(event); }

}  // namespace quorvel
