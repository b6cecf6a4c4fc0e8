#pragma once
// One plug-in parameter: its range, step, shape, display texts and current value.
// The value is a double written and read atomically, so the interface, the host and
// the audio thread may all touch it without a lock.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace iplug {

enum EParamFlags {
  kFlagsNone = 0,
  kFlagCannotAutomate = 0x1,
  kFlagStepped = 0x2,
};

class IParam {
 public:
  enum EParamType { kTypeNone, kTypeBool, kTypeInt, kTypeEnum, kTypeDouble };
  enum EParamUnit { kUnitCustom };

  // How a value maps to and from the normalised range 0..1.
  class Shape {
   public:
    virtual ~Shape() = default;
    virtual std::unique_ptr<Shape> Clone() const = 0;
    virtual void Init(const IParam& param) = 0;
    virtual double NormalizedToValue(double n, const IParam& param) const = 0;
    virtual double ValueToNormalized(double v, const IParam& param) const = 0;
  };

  class ShapeLinear : public Shape {
   public:
    std::unique_ptr<Shape> Clone() const override { return std::make_unique<ShapeLinear>(*this); }
    void Init(const IParam&) override {}
    double NormalizedToValue(double n, const IParam& param) const override;
    double ValueToNormalized(double v, const IParam& param) const override;
  };

  // value = min * (max / min) ^ n; needs a positive range.
  class ShapeExp : public Shape {
   public:
    std::unique_ptr<Shape> Clone() const override { return std::make_unique<ShapeExp>(*this); }
    void Init(const IParam& param) override;
    double NormalizedToValue(double n, const IParam& param) const override;
    double ValueToNormalized(double v, const IParam& param) const override;

   private:
    double mAdd = 0.0;
    double mMul = 1.0;
  };

  IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  void InitBool(const char* name, bool defaultValue, const char* label = "", int flags = 0, const char* group = "",
                const char* offText = "off", const char* onText = "on");
  void InitEnum(const char* name, int defaultValue, int nEnums, const char* label = "", int flags = 0,
                const char* group = "");
  void InitDouble(const char* name, double defaultValue, double minValue, double maxValue, double step,
                  const char* label = "", int flags = 0, const char* group = "", const Shape& shape = ShapeLinear(),
                  EParamUnit unit = kUnitCustom);

  void SetDisplayText(double value, const char* text);

  // Rounds to the step when the parameter is stepped, then clamps to the range. A NaN
  // becomes the minimum, so no caller can store a value outside the range.
  double Constrain(double value) const;
  double ToNormalized(double value) const;
  double FromNormalized(double normalized) const;

  void Set(double value) { mValue.store(Constrain(value)); }
  void SetNormalized(double normalized) { Set(FromNormalized(normalized)); }
  void SetToDefault() { Set(mDefault); }

  double Value() const { return mValue.load(); }
  double GetNormalized() const { return ToNormalized(Value()); }

  // The text a host shows for the current value, or for `value` (normalised when asked).
  std::string GetDisplay() const { return GetDisplay(Value(), false); }
  std::string GetDisplay(double value, bool normalized) const;
  int NDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }
  // The text of entry `idx` in registration order, with its value; null when out of range.
  const char* GetDisplayTextAtIdx(int idx, double* value = nullptr) const;
  // The display text of an exact value, or null when it has none.
  const char* GetDisplayText(double value) const;

  const char* GetName() const { return mName.c_str(); }
  const char* GetLabel() const { return mLabel.c_str(); }
  EParamType Type() const { return mType; }
  bool GetCanAutomate() const { return !(mFlags & kFlagCannotAutomate); }
  bool GetStepped() const { return (mFlags & kFlagStepped) != 0; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetRange() const { return mMax - mMin; }
  double GetDefault(bool normalized = false) const { return normalized ? ToNormalized(mDefault) : mDefault; }
  // Decimal places a double is shown with, implied by its step.
  int GetDisplayPrecision() const { return mDisplayPrecision; }

 private:
  struct DisplayText {
    double value;
    std::string text;
  };

  void Init(EParamType type, const char* name, double defaultValue, double minValue, double maxValue, double step,
            const char* label, int flags, const char* group, const Shape& shape, EParamUnit unit);

  EParamType mType = kTypeNone;
  EParamUnit mUnit = kUnitCustom;
  int mFlags = 0;
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  std::atomic<double> mValue{0.0};
  std::string mName;
  std::string mLabel;
  std::string mGroup;
  std::unique_ptr<Shape> mShape;
  std::vector<DisplayText> mDisplayTexts;
};

}  // namespace iplug
