# Thin wrapper over CMake. Every target installs what it needs first.
JOBS     ?= $(shell nproc)
RELEASE  := build/release
ASAN     := build/asan
FUZZ     := build/fuzz
FUZZ_SECONDS ?= 60
CMAKE_GEN := -G Ninja

.PHONY: setup build asan play test test-release test-asan bench fuzz content clean

setup:
	@scripts/setup

$(RELEASE)/build.ninja: | setup
	@cmake -S . -B $(RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null

$(ASAN)/build.ninja: | setup
	@cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DHALCYON2_SANITIZE=ON >/dev/null

build: setup $(RELEASE)/build.ninja
	@cmake --build $(RELEASE) -j $(JOBS)

asan: setup $(ASAN)/build.ninja
	@cmake --build $(ASAN) -j $(JOBS)

# Build, make the content (the build does that) and play the show from the
# folder that holds data.zip and murikka.mp3.
play: build
	@cd $(RELEASE)/bin && ./halcyon2

content: build
	@cmake --build $(RELEASE) --target content

test-release: build
	@cd $(RELEASE) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	@cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

# Both configurations: the optimised build and the sanitizer build.
test: test-release test-asan

bench: build
	@for b in $(RELEASE)/bin/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

# Each target runs FUZZ_SECONDS over its committed seeds (fuzz/corpus/<name>)
# plus what earlier runs found (build/fuzz/corpus/<name>); a finding stops
# with the end of its log, the crashing input lands in build/fuzz/.
fuzz: setup
	@cmake -S . -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DHALCYON2_FUZZ=ON -DHALCYON2_TESTS=OFF -DHALCYON2_CONTENT=OFF >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS)
	@for f in $(FUZZ)/bin/fuzz_*; do [ -x "$$f" ] || continue; n=$$(basename $$f | sed 's/^fuzz_//'); \
	  mkdir -p $(FUZZ)/corpus/$$n fuzz/corpus/$$n; \
	  echo "== $$n for $(FUZZ_SECONDS) s"; \
	  if ! $$f -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZ)/ \
	       $(FUZZ)/corpus/$$n fuzz/corpus/$$n >$(FUZZ)/$$n.log 2>&1; then \
	    tail -n 40 $(FUZZ)/$$n.log; exit 1; fi; \
	  tail -n 2 $(FUZZ)/$$n.log; done

clean:
	@rm -rf build
