corva_test(params_test SOURCES param_table_test.cpp DEPS corva_params)
