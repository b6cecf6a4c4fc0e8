corva_test(uipanel_test
  SOURCES effects_panel_model_test.cpp tap_tempo_test.cpp effects_panel_draw_test.cpp news_panel_test.cpp learn_overlay_test.cpp
  DEPS corva_ui)
