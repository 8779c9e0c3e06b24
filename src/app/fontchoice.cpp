#include "app/fontchoice.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QStringList>

namespace quorvel {

namespace {

// The family the system draws `font` in, where that differs from its own.
QString StandIn(const QFont& font) {
  const QString family = font.family();
  if (family.isEmpty() || QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return {};
  const QString drawn = QFontInfo(font).family();
  return drawn.compare(family, Qt::CaseInsensitive) == 0 ? QString() : drawn;
}

}  // namespace

QFont FontForDialog(const QFont& stored) {
  const QString standIn = StandIn(stored);
  if (standIn.isEmpty()) return stored;
  QFont shown = stored;
  shown.setFamily(standIn);
  return shown;
}

QFont FontFromDialog(const QFont& stored, const QFont& chosen) {
  const QString standIn = StandIn(stored);
  if (standIn.isEmpty() || chosen.family().compare(standIn, Qt::CaseInsensitive) != 0) return chosen;
  QFont kept = chosen;
  kept.setFamily(stored.family());
  return kept;
}

void UseScaleIndependentHinting() {
  QFont font = QGuiApplication::font();
  if (font.hintingPreference() == QFont::PreferVerticalHinting &&
      (font.resolveMask() & QFont::HintingPreferenceResolved) != 0) {
    return;
  }
  font.setHintingPreference(QFont::PreferVerticalHinting);
  QGuiApplication::setFont(font);
}

}  // namespace quorvel
