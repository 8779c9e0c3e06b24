// The run statistics in the window: the status panel and its tooltip, the
// graph menu's figures, the distribution view, the data export and the
// statistics document of the web server.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QTabBar>
#include <QLineEdit>
#include <QComboBox>
#include <QMenu>

#include <mutex>
#include <span>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "stats/runstatistics.h"
#include "graph/sampleexport.h"
#include "output/filereplace.h"
#include "run/usererror.h"
#include "web/webnames.h"

namespace quorvel {

namespace {

constexpr char kExportFilter[] = "CSV File (*.csv)|*.csv|JSON Lines File (*.jsonl)|*.jsonl";

}  // namespace

void TForm1::ConnectStatisticsHandlers() {
  connect(mnuDistribution, &QAction::toggled, this, &TForm1::mnuDistributionClick);
  connect(ExportData1, &QAction::triggered, this, &TForm1::ExportData1Click);
  ShowRunStatistics();
}

void TForm1::ShowRunStatistics() {
  const StatisticsSummary summary = m_chart.figures.Summary();
  {
    std::lock_guard lock(m_statisticsMutex);
    m_publishedJson = StatisticsJson(summary, cbURL->currentText().toStdString());
    if (m_chart.figures.AnyProbe()) m_publishedMetrics = m_chart.figures.Metrics();
  }
  const std::vector<std::string> lines = StatisticsLines(summary);
  QString tip;
  for (std::size_t i = 0; i < lines.size() && i < m_statisticsItems.size(); ++i) {
    const QString line = QString::fromStdString(lines[i]);
    m_statisticsItems[i]->setText(line);
    if (summary.sent > 0) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + line;
  }
  lblStatistics->setToolTip(tip);
  m_statisticsLines = StatisticsLineVariants(summary);
  FitStatisticsLine();
}

void TForm1::FitStatisticsLine() {
  if (!lblStatistics) return;
  const QFontMetrics metrics(lblStatistics->font());
  // The corner is as wide as the tabs leave it.
  const int tabs = PageControl1->tabBar()->sizeHint().width();
  const int room = PageControl1->width() - tabs - 12;
  QString shown;
  for (const std::string& line : m_statisticsLines) {
    shown = QString::fromStdString(line);
    if (metrics.horizontalAdvance(shown) <= room) break;
  }
  lblStatistics->setText(shown);
}

void TForm1::mnuDistributionClick() {
  m_chart.distribution = mnuDistribution->isChecked();
  ChartChanged();
}

void TForm1::ExportData1Click() {
  Guarded([this] {
    const QString folder = CaptureFolderExists() ? edFolder->text() : QDir::homePath();
    const std::optional<Dialogs::SaveChoice> choice = m_dialogs->SaveFileNameAndType(
        this, folder, QStringLiteral("quorvel-data.csv"), QString::fromLatin1(kExportFilter), 1);
    if (!choice) return;
    const ExportFormat format =
        choice->filterIndex == 2 ? ExportFormat::JsonLines : ExportFormat::Csv;
    QString fileName = choice->fileName;
    if (QFileInfo(fileName).suffix().isEmpty()) {
      fileName += format == ExportFormat::Csv ? QStringLiteral(".csv") : QStringLiteral(".jsonl");
    }
    const std::string document = ExportPoints(m_chart.data, format);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(document.data());
    const ImageResult written =
        ReplaceFileWhole(fileName.toStdString(), std::span(bytes, document.size()));
    if (!written) throw UserError(written.error());
  });
}

DocumentCallback TForm1::StatisticsDocuments() {
  return [this](const std::string& path, const WebContext& context) -> std::optional<WebDocument> {
    if (path == "/" + ReplaceExtension(context.imageName, ".json")) {
      std::lock_guard lock(m_statisticsMutex);
      return WebDocument{"application/json", m_publishedJson};
    }
    if (path == "/metrics" && context.access.MetricsEnabled) {
      std::vector<TargetMetrics> targets;
      {
        std::lock_guard lock(m_statisticsMutex);
        if (m_publishedMetrics) targets.push_back(*m_publishedMetrics);
      }
      return WebDocument{std::string(kMetricsContentType), FormatMetrics(targets)};
    }
    return std::nullopt;
  };
}

}  // namespace quorvel
