#pragma once

#include <string>

#include "app/form1.h"

namespace quorvel {

// What the session tells the window, shown in its controls.
class TForm1::SessionView final : public PlotSessionListener {
 public:
  explicit SessionView(TForm1& form) : f(form) {}
  void ResponseChanged(const std::string& text) override;
  void ReplyLineShown(const std::string& line) override;

  void ChartChanged() override { f.ChartChanged(); }
  void CaptionsChanged(const StatisticsCaptions& captions) override;
  void RunStateChanged(const RunState& state, unsigned changed) override;
  void Starting() override;
  void StartedPanelChanged(const std::string& text) override;
  void Notify(const std::string& text, NoticeKind kind) override;
  void ErrorLine(const std::string& line) override;

  Status CapturePage() override;
  void HistoryInserted(std::size_t position, const std::string& entry) override;
  void AlertsChanged(const std::vector<AlertEvent>& events,
                     const std::vector<ActiveAlert>& active) override;

 private:
  TForm1& f;
};

}  // namespace quorvel
