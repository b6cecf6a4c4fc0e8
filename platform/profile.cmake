# The settings file in the INI (profile) format.
corva_library(corva_profile SOURCES ${CMAKE_CURRENT_LIST_DIR}/profile_file.cpp DEPS corva_replace_file)
