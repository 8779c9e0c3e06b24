#include "app/alertsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>

#include "alert/alertrule.h"
#include "app/dialogs.h"

namespace quorvel {

namespace {

constexpr std::string_view kPatternWord = "pattern:";

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QSpinBox* Count(QWidget* parent, const char* name, int maximum) {
  auto* box = Named(new QSpinBox(parent), name);
  box->setRange(1, maximum);
  return box;
}

QDoubleSpinBox* Decimal(QWidget* parent, const char* name, double minimum, double maximum) {
  auto* box = Named(new QDoubleSpinBox(parent), name);
  box->setDecimals(3);
  box->setRange(minimum, maximum);
  return box;
}

// The stored rule, or the default of its kind where the stored text cannot
// be read (a hand-edited file).
AlertRule RuleOf(const std::string& text, const std::string& fallback) {
  ParsedAlertRule parsed = ParseAlertRule(text);
  if (parsed.status != ParsedAlertRule::Status::Ok) parsed = ParseAlertRule(fallback);
  return parsed.rule;
}

int ToInt(std::uint32_t value) { return static_cast<int>(std::min<std::uint32_t>(value, 1'000'000)); }
std::uint32_t ToCount(int value) { return static_cast<std::uint32_t>(std::max(value, 1)); }

}  // namespace

AlertsDialog::AlertsDialog(const AlertSettings& settings, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_dialogs(dialogs) {
  setObjectName(QStringLiteral("AlertsDialog"));
  setWindowTitle(QStringLiteral("Quorvel - Alerts"));
  auto* layout = new QVBoxLayout(this);

  auto* rules = new QGroupBox(QStringLiteral("Raise an alert when"), this);
  auto* grid = new QGridLayout(rules);
  auto row = [&](int r, QCheckBox* box, std::initializer_list<QWidget*> middle, QSpinBox* clear) {
    grid->addWidget(box, r, 0);
    auto* line = new QHBoxLayout;
    for (QWidget* w : middle) line->addWidget(w);
    line->addStretch(1);
    grid->addLayout(line, r, 1);
    grid->addWidget(new QLabel(QStringLiteral("clears after"), rules), r, 2);
    grid->addWidget(clear, r, 3);
    grid->addWidget(new QLabel(QStringLiteral("probes"), rules), r, 4);
  };
  auto text = [rules](const char* t) { return new QLabel(QString::fromUtf8(t), rules); };

  cbAlertLost = Named(new QCheckBox(QStringLiteral("Lost in a row:"), rules), "cbAlertLost");
  spLostCount = Count(rules, "spLostCount", static_cast<int>(kMaxLostInRow));
  spLostClear = Count(rules, "spLostClear", static_cast<int>(kMaxClearAfter));
  row(0, cbAlertLost, {spLostCount, text("probes")}, spLostClear);

  cbAlertLoss = Named(new QCheckBox(QStringLiteral("Loss of at least"), rules), "cbAlertLoss");
  spLossPercent = Decimal(rules, "spLossPercent", 0.001, 100);
  spLossWindow = Count(rules, "spLossWindow", static_cast<int>(kMaxLossWindow));
  spLossClear = Count(rules, "spLossClear", static_cast<int>(kMaxClearAfter));
  row(1, cbAlertLoss, {spLossPercent, text("% of the last"), spLossWindow, text("probes")},
      spLossClear);

  cbAlertLatency = Named(new QCheckBox(QStringLiteral("Latency:"), rules), "cbAlertLatency");
  cbLatencyStatistic = Named(new QComboBox(rules), "cbLatencyStatistic");
  cbLatencyStatistic->addItems({QStringLiteral("average"), QStringLiteral("median"),
                                QStringLiteral("95th percentile")});
  spLatencyMs = Decimal(rules, "spLatencyMs", 0.001, static_cast<double>(kMaxThresholdMs));
  spLatencyWindow = Count(rules, "spLatencyWindow", static_cast<int>(kMaxLatencyWindow));
  spLatencyClear = Count(rules, "spLatencyClear", static_cast<int>(kMaxClearAfter));
  row(2, cbAlertLatency,
      {cbLatencyStatistic, text("at least"), spLatencyMs, text("ms over the last"), spLatencyWindow,
       text("replies")},
      spLatencyClear);

  cbAlertPattern = Named(new QCheckBox(QStringLiteral("Pattern:"), rules), "cbAlertPattern");
  edPattern = Named(new QLineEdit(rules), "edPattern");
  edPattern->setMinimumWidth(260);
  edPattern->setToolTip(QStringLiteral("Entries oldest first, for example >0%,*12*,>0%,*12*,>0%"));
  spPatternClear = Count(rules, "spPatternClear", static_cast<int>(kMaxClearAfter));
  row(3, cbAlertPattern, {edPattern}, spPatternClear);
  layout->addWidget(rules);

  auto* actions = new QGroupBox(QStringLiteral("When an alert is raised or cleared"), this);
  auto* form = new QGridLayout(actions);
  cbAlertNotify = Named(new QCheckBox(QStringLiteral("Show a desktop notification"), actions),
                        "cbAlertNotify");
  cbAlertBeep = Named(new QCheckBox(QStringLiteral("Beep"), actions), "cbAlertBeep");
  form->addWidget(cbAlertNotify, 0, 0, 1, 3);
  form->addWidget(cbAlertBeep, 1, 0, 1, 3);
  form->addWidget(new QLabel(QStringLiteral("Append a line to:"), actions), 2, 0);
  edAlertLog = Named(new QLineEdit(actions), "edAlertLog");
  form->addWidget(edAlertLog, 2, 1);
  auto* browse = Named(new QPushButton(QStringLiteral("Browse..."), actions), "btnAlertLogBrowse");
  form->addWidget(browse, 2, 2);
  form->addWidget(new QLabel(QStringLiteral("Run the command:"), actions), 3, 0);
  edAlertCommand = Named(new QLineEdit(actions), "edAlertCommand");
  form->addWidget(edAlertCommand, 3, 1, 1, 2);
  auto* hint = new QLabel(
      QStringLiteral("A program and its arguments, split at blanks and run without a shell; "
                     "the event is in its environment (QUORVEL_ALERT_STATE, _TARGET, _RULE, "
                     "_VALUE, _DESCRIPTION, _TIME, _UNIX_MS)."),
      actions);
  hint->setWordWrap(true);
  form->addWidget(hint, 4, 0, 1, 3);
  layout->addWidget(actions);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &AlertsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AlertsDialog::reject);
  layout->addWidget(buttons);

  connect(browse, &QPushButton::clicked, this, [this] {
    if (const std::optional<QString> chosen = m_dialogs.SaveFileName(
            this, QString(), edAlertLog->text(),
            QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*"), 1, QStringLiteral(".txt"))) {
      edAlertLog->setText(*chosen);
    }
  });
  Load(settings);
}

void AlertsDialog::Load(const AlertSettings& s) {
  const AlertSettings defaults;
  const AlertRule lost = RuleOf(s.lost, defaults.lost);
  cbAlertLost->setChecked(s.lostOn);
  spLostCount->setValue(ToInt(lost.count));
  spLostClear->setValue(ToInt(lost.clearAfter));

  const AlertRule loss = RuleOf(s.loss, defaults.loss);
  cbAlertLoss->setChecked(s.lossOn);
  spLossPercent->setValue(static_cast<double>(loss.lossThousandths) / 1000.0);
  spLossWindow->setValue(ToInt(loss.count));
  spLossClear->setValue(ToInt(loss.clearAfter));

  const AlertRule latency = RuleOf(s.latency, defaults.latency);
  cbAlertLatency->setChecked(s.latencyOn);
  cbLatencyStatistic->setCurrentIndex(static_cast<int>(latency.statistic));
  spLatencyMs->setValue(static_cast<double>(latency.threshold.count()) / 1e6);
  spLatencyWindow->setValue(ToInt(latency.count));
  spLatencyClear->setValue(ToInt(latency.clearAfter));

  cbAlertPattern->setChecked(s.patternOn);
  const ParsedAlertRule pattern = ParseAlertRule(s.pattern);
  if (pattern.status == ParsedAlertRule::Status::Ok) {
    AlertRule entries = pattern.rule;
    entries.clearAfter = 1;
    edPattern->setText(QString::fromStdString(AlertRuleText(entries).substr(kPatternWord.size())));
    spPatternClear->setValue(ToInt(pattern.rule.clearAfter));
  } else {
    // Kept as it stands, to be put right.
    const std::string_view text = s.pattern;
    edPattern->setText(QString::fromStdString(
        std::string(text.substr(0, kPatternWord.size()) == kPatternWord ? text.substr(kPatternWord.size()) : text)));
    spPatternClear->setValue(1);
  }

  cbAlertNotify->setChecked(s.notify);
  cbAlertBeep->setChecked(s.beep);
  edAlertLog->setText(QString::fromStdString(s.logFile));
  edAlertCommand->setText(QString::fromStdString(s.command));
}

void AlertsDialog::accept() {
  AlertSettings s = m_settings;
  AlertRule lost;
  lost.kind = AlertKind::LostInRow;
  lost.count = ToCount(spLostCount->value());
  lost.clearAfter = ToCount(spLostClear->value());
  s.lostOn = cbAlertLost->isChecked();
  s.lost = AlertRuleText(lost);

  AlertRule loss;
  loss.kind = AlertKind::LossWindow;
  loss.lossThousandths = std::llround(spLossPercent->value() * 1000);
  loss.count = ToCount(spLossWindow->value());
  loss.clearAfter = ToCount(spLossClear->value());
  s.lossOn = cbAlertLoss->isChecked();
  s.loss = AlertRuleText(loss);

  AlertRule latency;
  latency.kind = AlertKind::Latency;
  latency.statistic = static_cast<LatencyStatistic>(cbLatencyStatistic->currentIndex());
  latency.threshold = std::chrono::nanoseconds(std::llround(spLatencyMs->value() * 1e6));
  latency.count = ToCount(spLatencyWindow->value());
  latency.clearAfter = ToCount(spLatencyClear->value());
  s.latencyOn = cbAlertLatency->isChecked();
  s.latency = AlertRuleText(latency);

  std::string pattern = std::string(kPatternWord) + edPattern->text().toStdString();
  if (spPatternClear->value() > 1) pattern += " clear=" + std::to_string(spPatternClear->value());
  const ParsedAlertRule parsed = ParseAlertRule(pattern);
  s.patternOn = cbAlertPattern->isChecked();
  if (parsed.status == ParsedAlertRule::Status::Ok) {
    s.pattern = AlertRuleText(parsed.rule);
  } else if (s.patternOn) {
    m_dialogs.Error(this, QStringLiteral("The pattern cannot be used: ") +
                              QString::fromStdString(parsed.error));
    edPattern->setFocus();
    return;
  } else {
    s.pattern = pattern;  // kept as typed while it is off
  }

  s.notify = cbAlertNotify->isChecked();
  s.beep = cbAlertBeep->isChecked();
  s.logFile = edAlertLog->text().toStdString();
  s.command = edAlertCommand->text().toStdString();
  m_settings = s;
  QDialog::accept();
}

}  // namespace quorvel
