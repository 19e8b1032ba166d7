kestrion_add_benchmark(bench_openai SOURCES openai.cpp LIBS kestrion_openai)
