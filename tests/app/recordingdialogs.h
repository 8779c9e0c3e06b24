#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPoint>
#include <QPrinter>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "app/dialogs.h"

// Answers the main window's boxes and dialogs in place of a person, and
// records what was asked. Every test of the window uses it, so nothing
// modal ever blocks a test.
class RecordingDialogs : public quorvel::Dialogs {
 public:
  struct Confirmation {
    QString text;
    ConfirmButtons buttons;
    QPoint topLeft;
  };
  struct SaveRequest {
    QString directory;
    QString fileName;
    QString filter;
    int filterIndex;
    QString defaultSuffix;
  };

  // Message and Error boxes, in order.
  QStringList messages;
  int beeps = 0;

  std::optional<QColor> colourAnswer;
  QColor colourAsked;
  std::optional<QFont> fontAnswer;
  QFont fontAsked;

  QList<Confirmation> confirmations;
  bool confirmAnswer = false;

  QList<SaveRequest> saves;
  std::optional<QString> saveAnswer;
  std::optional<SaveChoice> saveChoiceAnswer;

  std::optional<QString> folderAnswer;
  int folderCalls = 0;
  QString folderTitle, folderStart;

  bool printAnswer = false;
  int printCalls = 0;
  int setupCalls = 0;
  QPrinter* printerSeen = nullptr;
  std::function<void(QPrinter&)> setUp;  // the choices made in the set-up dialog

  void Message(QWidget*, const QString& text) override { messages << text; }
  void Error(QWidget*, const QString& text) override { messages << text; }
  void Beep() override { ++beeps; }
  std::optional<QColor> PickColour(QWidget*, const QColor& initial) override {
    colourAsked = initial;
    return colourAnswer;
  }
  std::optional<QFont> PickFont(QWidget*, const QFont& initial) override {
    fontAsked = initial;
    return fontAnswer;
  }
  bool Confirm(QWidget*, const QString& text, ConfirmButtons buttons, QPoint topLeft) override {
    confirmations << Confirmation{text, buttons, topLeft};
    return confirmAnswer;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString& directory, const QString& fileName,
                                      const QString& filter, int filterIndex,
                                      const QString& defaultSuffix) override {
    saves << SaveRequest{directory, fileName, filter, filterIndex, defaultSuffix};
    return saveAnswer;
  }
  std::optional<SaveChoice> SaveFileNameAndType(QWidget*, const QString& directory,
                                                const QString& fileName, const QString& filter,
                                                int filterIndex) override {
    saves << SaveRequest{directory, fileName, filter, filterIndex, QString()};
    return saveChoiceAnswer;
  }
  std::optional<QString> ChooseFolder(QWidget*, const QString& title,
                                      const QString& start) override {
    ++folderCalls;
    folderTitle = title;
    folderStart = start;
    return folderAnswer;
  }
  bool Print(QWidget*, QPrinter& printer) override {
    ++printCalls;
    printerSeen = &printer;
    return printAnswer;
  }
  void PrinterSetup(QWidget*, QPrinter& printer) override {
    ++setupCalls;
    printerSeen = &printer;
    if (setUp) setUp(printer);
  }
};
