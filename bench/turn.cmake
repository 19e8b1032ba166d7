# The fake model server lives with the tests; without them there is nothing to talk to.
if(TARGET kestrion_fake_openai)
    kestrion_add_benchmark(bench_turn SOURCES turn.cpp
        LIBS kestrion_conversation kestrion_fake_openai CORE_APPLICATION)
    target_include_directories(bench_turn PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endif()
