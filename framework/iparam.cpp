#include "framework/iparam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace iplug {

namespace {
const char* orEmpty(const char* s) { return s ? s : ""; }

double clampToRange(double v, double lo, double hi) {
  if (std::isnan(v)) return lo;
  return std::min(std::max(v, lo), hi);
}
}  // namespace

double IParam::ShapeLinear::NormalizedToValue(double n, const IParam& param) const {
  return param.mMin + n * (param.mMax - param.mMin);
}

double IParam::ShapeLinear::ValueToNormalized(double v, const IParam& param) const {
  const double range = param.mMax - param.mMin;
  return range > 0.0 ? (v - param.mMin) / range : 0.0;
}

void IParam::ShapeExp::Init(const IParam& param) {
  // A range that does not start above zero has no logarithm; the smallest positive
  // double stands in for its bottom so the mapping stays finite.
  const double lo = param.mMin > 0.0 ? param.mMin : 1e-300;
  const double hi = std::max(param.mMax, lo);
  mAdd = std::log(lo);
  mMul = std::log(hi / lo);
}

double IParam::ShapeExp::NormalizedToValue(double n, const IParam&) const { return std::exp(mAdd + n * mMul); }

double IParam::ShapeExp::ValueToNormalized(double v, const IParam&) const {
  if (mMul <= 0.0 || !(v > 0.0)) return 0.0;
  return (std::log(v) - mAdd) / mMul;
}

IParam::IParam() : mShape(std::make_unique<ShapeLinear>()) {}

void IParam::Init(EParamType type, const char* name, double defaultValue, double minValue, double maxValue, double step,
                  const char* label, int flags, const char* group, const Shape& shape, EParamUnit unit) {
  mType = type;
  mName = orEmpty(name);
  mLabel = orEmpty(label);
  mGroup = orEmpty(group);
  mFlags = flags;
  mUnit = unit;
  mMin = minValue;
  mMax = std::max(minValue, maxValue);
  mStep = step > 0.0 ? step : 1.0;
  mDisplayPrecision = 0;
  for (double s = mStep; mDisplayPrecision < 15 && std::fabs(s - std::round(s)) > 1e-9; s *= 10.0) ++mDisplayPrecision;
  mShape = shape.Clone();
  mShape->Init(*this);
  mDisplayTexts.clear();
  mDefault = Constrain(defaultValue);
  SetToDefault();
}

void IParam::InitBool(const char* name, bool defaultValue, const char* label, int flags, const char* group,
                      const char* offText, const char* onText) {
  Init(kTypeBool, name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, flags | kFlagStepped, group, ShapeLinear(),
       kUnitCustom);
  SetDisplayText(0.0, offText);
  SetDisplayText(1.0, onText);
}

void IParam::InitEnum(const char* name, int defaultValue, int nEnums, const char* label, int flags, const char* group) {
  Init(kTypeEnum, name, defaultValue, 0.0, std::max(nEnums - 1, 0), 1.0, label, flags | kFlagStepped, group,
       ShapeLinear(), kUnitCustom);
}

void IParam::InitDouble(const char* name, double defaultValue, double minValue, double maxValue, double step,
                        const char* label, int flags, const char* group, const Shape& shape, EParamUnit unit) {
  Init(kTypeDouble, name, defaultValue, minValue, maxValue, step, label, flags, group, shape, unit);
}

void IParam::SetDisplayText(double value, const char* text) {
  for (auto& entry : mDisplayTexts) {
    if (entry.value == value) {
      entry.text = orEmpty(text);
      return;
    }
  }
  mDisplayTexts.push_back({value, orEmpty(text)});
}

double IParam::Constrain(double value) const {
  double v = value;
  if (GetStepped() && std::isfinite(v)) v = std::round(v / mStep) * mStep;
  return clampToRange(v, mMin, mMax);
}

double IParam::ToNormalized(double value) const {
  return clampToRange(mShape->ValueToNormalized(Constrain(value), *this), 0.0, 1.0);
}

double IParam::FromNormalized(double normalized) const {
  return Constrain(mShape->NormalizedToValue(clampToRange(normalized, 0.0, 1.0), *this));
}

const char* IParam::GetDisplayTextAtIdx(int idx, double* value) const {
  if (idx < 0 || idx >= NDisplayTexts()) return nullptr;
  if (value) *value = mDisplayTexts[static_cast<std::size_t>(idx)].value;
  return mDisplayTexts[static_cast<std::size_t>(idx)].text.c_str();
}

const char* IParam::GetDisplayText(double value) const {
  for (const auto& entry : mDisplayTexts)
    if (entry.value == value) return entry.text.c_str();
  return nullptr;
}

std::string IParam::GetDisplay(double value, bool normalized) const {
  const double v = normalized ? FromNormalized(value) : Constrain(value);
  if (const char* text = GetDisplayText(v)) return text;
  char buf[64];
  if (mType == kTypeDouble) std::snprintf(buf, sizeof buf, "%.*f", mDisplayPrecision, v);
  else std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v));
  return buf;
}

}  // namespace iplug
