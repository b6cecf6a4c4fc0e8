#!/bin/sh
# Fails when an include points up the layers or a product folder includes a platform
# header. Layers, bottom to top: engine, news, model; ui; plugin; vst3 and app.
# framework/ and platform/ include none of the product folders.
cd "$1" || exit 2
status=0
check() {  # check <folders> <forbidden include pattern> <what>
  hits=$(grep -rnE "#include [\"<]($2)" $1 2>/dev/null)
  if [ -n "$hits" ]; then
    printf '%s\n%s\n\n' "$3" "$hits"
    status=1
  fi
}
existing() { for d in "$@"; do [ -d "$d" ] && printf '%s ' "$d"; done; }
bottom=$(existing engine news model)
check "$bottom" '(ui|plugin|vst3|app)/' "the bottom layer includes a layer above it:"
check "$(existing engine news)" '(model)/' "engine or news includes the shared model:"
check "$(existing ui)" '(plugin|vst3|app)/' "ui/ includes a layer above it:"
check "$(existing plugin)" '(vst3|app)/' "plugin/ includes a layer above it:"
check "$(existing framework platform)" '(engine|news|model|ui|plugin|vst3|app|resources)/' "framework/ or platform/ includes product code:"
product=$(existing engine news model ui plugin vst3 app resources)
check "$product" '(X11/|gtk/|gdk/|curl/|pugl/)' "a product folder includes a window, GTK, curl or pugl header:"
check "$(existing engine news model ui plugin app resources)" '(pluginterfaces/|public\.sdk/|base/source/)' "the VST3 SDK is included outside vst3/ and framework/:"
[ $status -eq 0 ] && echo "includes point down the layers"
exit $status
