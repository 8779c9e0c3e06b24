#include "app/form2.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

namespace quorvel {

namespace {

// The client area, fixed.
constexpr int kClientWidth = 428;
constexpr int kClientHeight = 266;

// A password box shows "+" for every character, whatever the desktop's own
// mask character is.
class PlusPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '+';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = Named(new QLabel(text, parent), name);
  label->move(x, y);
  label->adjustSize();
  return label;
}

QLineEdit* Edit(QWidget* parent, const char* name, int x, int y, int w) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setGeometry(x, y, w, 21);
  return edit;
}

}  // namespace

int PortFromText(const QString& text) {
  bool ok = false;
  const int port = text.toInt(&ok, 10);
  return ok ? port : 80;
}

TForm2::TForm2(WebAccessSettings& settings, bool& metrics, bool& livePage, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_settings(settings),
      m_metrics(metrics),
      m_livePage(livePage) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Quorvel - Advanced HTTP Configuration"));
  setFixedSize(kClientWidth, kClientHeight);
  setSizeGripEnabled(false);

  cbAuth = Named(new QCheckBox(QStringLiteral("Server requires authentication"), this), "cbAuth");
  cbAuth->move(32, 24);
  cbAuth->adjustSize();

  Label41 = Label(this, "Label41", QStringLiteral("Username"), 48, 66);
  edWebUser = Edit(this, "edWebUser", 144, 62, 217);
  Label42 = Label(this, "Label42", QStringLiteral("Password"), 48, 102);
  edWebPassword = Edit(this, "edWebPassword", 144, 98, 217);
  edWebPassword->setEchoMode(QLineEdit::Password);
  auto* plus = new PlusPasswordStyle;
  plus->setParent(edWebPassword);
  edWebPassword->setStyle(plus);

  Label40 = Label(this, "Label40", QStringLiteral("Server Port"), 48, 154);
  edPort = Edit(this, "edPort", 144, 150, 65);
  edPort->setText(QStringLiteral("80"));

  cbMetrics = Named(new QCheckBox(QStringLiteral("Serve Prometheus metrics at /metrics"), this),
                    "cbMetrics");
  cbMetrics->move(32, 184);
  cbMetrics->adjustSize();
  // Beside the port: the page "/" + the image name with ".html".
  cbLivePage = Named(new QCheckBox(QStringLiteral("Serve a live page"), this), "cbLivePage");
  cbLivePage->setToolTip(QStringLiteral(
      "The web image and the figures on a page that reloads itself, beside the image: "
      "its name with .html"));
  cbLivePage->move(240, 152);
  cbLivePage->adjustSize();

  Button1 = Named(new QPushButton(QStringLiteral("OK"), this), "Button1");
  Button1->setGeometry(176, 212, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

  FormCreate();
}

void TForm2::FormCreate() {
  cbAuth->setChecked(m_settings.AuthRequired);
  edWebUser->setText(QString::fromStdString(m_settings.UserName));
  edWebPassword->setText(QString::fromStdString(m_settings.Password));
  edPort->setText(QString::number(m_settings.Port));
  cbMetrics->setChecked(m_metrics);
  cbLivePage->setChecked(m_livePage);
}

void TForm2::Button1Click() { accept(); }

void TForm2::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TForm2::FormClose() {
  m_settings.AuthRequired = cbAuth->isChecked();
  m_settings.UserName = edWebUser->text().toStdString();
  m_settings.Password = edWebPassword->text().toStdString();
  m_settings.Port = PortFromText(edPort->text());
  m_metrics = cbMetrics->isChecked();
  m_livePage = cbLivePage->isChecked();
}

}  // namespace quorvel
