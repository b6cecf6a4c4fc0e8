#include "framework/ieditor_delegate.h"

#include <algorithm>

namespace iplug {

IEditorDelegate::IEditorDelegate(int nParams) {
  mParams.reserve(static_cast<std::size_t>(std::max(nParams, 0)));
  for (int i = 0; i < nParams; ++i) mParams.push_back(std::make_unique<IParam>());
}

IEditorDelegate::~IEditorDelegate() = default;

IParam* IEditorDelegate::GetParam(int idx) {
  return idx >= 0 && idx < NParams() ? mParams[static_cast<std::size_t>(idx)].get() : nullptr;
}

const IParam* IEditorDelegate::GetParam(int idx) const {
  return idx >= 0 && idx < NParams() ? mParams[static_cast<std::size_t>(idx)].get() : nullptr;
}

void IEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double /*value*/, bool /*normalized*/) {
  if (!GetParam(paramIdx)) return;
  OnParamChangeUI(paramIdx, kDelegate);
}

void IEditorDelegate::SendCurrentParamValuesFromDelegate() {
  for (int i = 0; i < NParams(); ++i) SendParameterValueFromDelegate(i, GetParam(i)->GetNormalized(), true);
}

}  // namespace iplug
