#include "charging/hold.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

/// What the battery of a plugged-in Mac does once a decision is carried out:
/// a cut adapter runs it down, inhibited charging keeps it still, and
/// otherwise it charges. A control without a key, or left as it is, stays as
/// it was; a missing key counts as on, as a Mac without the control is.
enum class Effect { charges, still, drains };

Effect effectOf(const HoldSituation& s, const HoldDecision& d) {
  // A control that reads "unknown" is never written, and counts as on.
  const auto after = [](const ControlState& c, std::optional<bool> wanted) {
    return c.status == "unknown" || !wanted ? !c.usable || c.status != "disabled" : *wanted;
  };
  const bool adapterOn = after(s.adapter, d.adapter);
  const bool chargingOn = after(s.charging, d.charging);
  if (!adapterOn) return Effect::drains;
  return chargingOn ? Effect::charges : Effect::still;
}

/// Every situation that matters for a band: levels at and around its edges
/// and at the ends of the scale, from the adapter or the battery, each
/// control absent or in each state it can read.
template <class Check>
void forEachSituation(Band band, Check check) {
  const std::array<int, 8> levels{0, band.lower - 1, band.lower, band.lower + 1, band.upper - 1, band.upper,
                                  std::min(band.upper + 1, 100), 100};
  const std::array<ControlState, 5> adapters{{{}, {true, ""}, {true, "enabled"}, {true, "disabled"}, {true, "unknown"}}};
  const std::array<ControlState, 4> chargings{{{}, {true, "enabled"}, {true, "disabled"}, {true, "unknown"}}};
  // No temperature, a cool one, one in the margin below HOT (35) and a hot one.
  const std::array<std::optional<int>, 4> temperatures{std::nullopt, 310, 330, 350};
  for (const int level : levels) {
    for (const bool onAdapter : {true, false}) {
      for (const ControlState& adapter : adapters) {
        for (const ControlState& charging : chargings) {
          for (const auto& temperature : temperatures) {
            check(HoldSituation{.level = level, .onAdapter = onAdapter, .adapter = adapter, .charging = charging,
                                .temperature = temperature});
          }
        }
      }
    }
  }
}

/// The situation in words, for a failure's message.
std::string describe(Band band, const HoldSituation& s) {
  return "band " + std::to_string(band.lower) + "-" + std::to_string(band.upper) + ", level " +
         std::to_string(s.level) + (s.onAdapter ? ", on the adapter" : ", on the battery") + ", adapter " +
         (s.adapter.usable ? "'" + s.adapter.status + "'" : "none") + ", charging " +
         (s.charging.usable ? "'" + s.charging.status + "'" : "none");
}

/// The rules a decision is made by: hold's, a holder's by day with an
/// adapter it has just turned on, and its nights.
constexpr std::array<HolderRule, 5> kRules{{{},
                                            {.adapterHeldOn = true},
                                            {.night = true},
                                            {.night = true, .chargeAsleep = true},
                                            {.night = true, .adapterHeldOn = true}}};

}  // namespace

// Every band there is, with what each decision must do to a plugged-in Mac
// (or an unplugged one), told by its effect on the battery rather than by
// the table that produces it.
TEST(Hold, EveryBandKeepsItsPromises) {
  int broken = 0;
  std::string first;
  const auto expect = [&](bool holds, const char* promise, Band band, const HoldSituation& s) {
    if (holds || broken++ > 0) return;
    first = std::string(promise) + ": " + describe(band, s);
  };
  for (int lower = 20; lower < 100; ++lower) {
    for (int upper = lower + 1; upper <= 100; ++upper) {
      const Band band{.lower = lower, .upper = upper};
      forEachSituation(band, [&](const HoldSituation& s) {
        const bool plugged = !unplugged(s);
        const bool known = s.adapter.status != "unknown";
        const bool alone = adapterAlone(s);
        for (const HolderRule& rule : kRules) {
          const bool sleep = rule.night;
          const HoldDecision d = rule.night || rule.adapterHeldOn ? decideHolder(s, band, rule) : decideHold(s, band);
          const Effect effect = effectOf(s, d);
          const HoldDecision everyOn{.adapter = s.adapter.usable ? std::optional(true) : std::nullopt,
                                     .charging = s.charging.usable ? std::optional(true) : std::nullopt};
          expect((!d.adapter || s.adapter.usable) && (!d.charging || s.charging.usable),
                 "a control without a key is asked nothing", band, s);
          if (!s.adapter.usable && !s.charging.usable) continue;
          expect(upper < 100 || d.heat || rule.adapterHeldOn || (d.adapter == everyOn.adapter && d.charging == everyOn.charging),
                 "an upper level of 100 turns every control on", band, s);
          expect(!plugged || !known || s.level >= lower || effect == Effect::charges || (alone && !s.adapter.usable),
                 "a plugged-in Mac below the band charges", band, s);
          // The heat: a hot battery above the lower level is not charged (but by an adapter that the holder
          // has just turned on at the lower level), a paused one stays paused in the margin, and a cool one,
          // or one at or below the lower level, is decided as if no temperature were known.
          const Heat heat = heatOf(s, band);
          const bool paused = chargingPaused(s);
          const bool heldOn = rule.adapterHeldOn && alone;
          expect(heat != Heat::pause || !plugged || !known || heldOn || effect != Effect::charges ||
                     (alone ? !s.adapter.usable : !s.charging.usable),
                 "a hot battery above the lower level is not charged", band, s);
          expect(heat != Heat::margin || !paused || !known || heldOn || effect != Effect::charges,
                 "a paused battery stays paused in the margin", band, s);
          if (heat == Heat::none && s.temperature) {
            HoldSituation unknownHeat = s;
            unknownHeat.temperature.reset();
            const HoldDecision without = rule.night || rule.adapterHeldOn ? decideHolder(unknownHeat, band, rule)
                                                                          : decideHold(unknownHeat, band);
            expect(d.adapter == without.adapter && d.charging == without.charging && !d.heat,
                   "a cool battery, or one at or below the lower level, is decided as without heat", band, s);
          }
          expect(!d.heat || heat != Heat::none, "the line names heat only where heat decided", band, s);
          expect(!rule.adapterHeldOn || !plugged || !known || !s.adapter.usable || s.adapter.status != "enabled" ||
                     effect != Effect::drains || (!alone && !sleep),
                 "an adapter turned on less than 10 minutes ago stays on", band, s);
          if (sleep) {
            expect(!plugged || !known || alone || s.level < lower || upper == 100 || effect == Effect::still,
                   "a Mac that can stop charging sleeps still from the lower level up", band, s);
            expect(!plugged || !known || !alone || !s.adapter.usable || upper == 100 ||
                       (s.level <= lower) == (effect != Effect::drains) || rule.adapterHeldOn || rule.chargeAsleep,
                   "with the adapter alone, asleep, it runs down above the lower level and charges at it", band, s);
            expect(!plugged || !known || !alone || !rule.chargeAsleep || effect != Effect::drains || d.heat,
                   "charging asleep, the adapter alone never runs the battery down", band, s);
            expect(plugged || alone || (!d.adapter && !d.charging) || upper == 100,
                   "an unplugged Mac sleeps as it is", band, s);
            continue;
          }
          expect(!plugged || !known || s.level > lower || effect == Effect::charges || (alone && !s.adapter.usable),
                 "a plugged-in Mac at the lower level charges", band, s);
          expect(!plugged || !known || upper == 100 || s.level < upper || effect != Effect::charges || rule.adapterHeldOn ||
                     s.charging.status == "unknown",
                 "a plugged-in Mac at or above the upper level does not charge", band, s);
          expect(!plugged || upper == 100 || s.level <= upper || !s.adapter.usable || d.adapter == false ||
                     (rule.adapterHeldOn && alone),
                 "a plugged-in Mac above the band is cut from its adapter", band, s);
          expect(!plugged || !s.adapter.usable || alone || s.level > upper || d.adapter == true,
                 "with both controls the battery rests in the band instead of cycling", band, s);
          expect(plugged || (d.adapter != false && d.charging == everyOn.charging),
                 "an unplugged Mac charges again when it is plugged in", band, s);
        }
      });
    }
  }
  EXPECT_EQ(broken, 0) << "first: " << first;
}
