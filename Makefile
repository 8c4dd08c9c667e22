# The two commands of the README. Both install what is missing first.
# `make bench` builds the benchmarks as well and runs them all.
BUILD ?= build
JOBS  ?= $(shell nproc)
CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: run test build bench deps clean

deps:
	bash scripts/install-deps.sh

build: deps
	$(CONFIGURE) -DQS_BUILD_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-demo.sh $(BUILD)

test: build
	bash scripts/run-tests.sh $(BUILD)

# Every benchmark, each figure beside its peer from the same run (bench/README.md).
bench: deps
	$(CONFIGURE) -DQS_BUILD_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	bash bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD)
