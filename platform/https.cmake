# HTTPS GET over libcurl (corva_https). Test programs link corva_https_test_route in its
# place: the same code plus setHttpsTestRoute, which lets a test trust its own
# certificate authority. Products link corva_https and cannot reach that function.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET GLOBAL libcurl)

corva_library(corva_https SOURCES ${CMAKE_CURRENT_LIST_DIR}/https_get.cpp DEPS PkgConfig::CURL)
corva_library(corva_https_test_route SOURCES ${CMAKE_CURRENT_LIST_DIR}/https_get.cpp DEPS PkgConfig::CURL)
target_compile_definitions(corva_https_test_route PRIVATE CORVA_HTTPS_TEST_ROUTE)
