# The news service: the feed cache and dismissed-notice files, the fetch job and the
# background worker that runs it.
#   corva_news_files    the two files in the data folder
#   corva_news_service  the fetch job and the worker. A program links one key table
#                       (corva_news_key) and one HTTPS library (corva_https) beside it;
#                       test programs link test ones in their place.
find_package(Threads REQUIRED)

corva_library(corva_news_files
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/news_cache.cpp
    ${CMAKE_CURRENT_LIST_DIR}/news_dismissed.cpp
  DEPS corva_model)

corva_library(corva_news_service
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/news_fetch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/background_worker.cpp
  DEPS corva_news_files corva_news corva_module_pin Threads::Threads)
