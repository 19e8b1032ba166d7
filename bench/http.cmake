# Needs the loopback server of the tests.
if(TARGET kestrion_http_test_server)
    kestrion_add_benchmark(bench_http SOURCES http.cpp LIBS kestrion_support kestrion_http_test_server Qt6::Concurrent)
endif()
