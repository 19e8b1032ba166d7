kestrion_add_benchmark(bench_window SOURCES window.cpp LIBS kestrion_app Qt6::WebEngineWidgets)
