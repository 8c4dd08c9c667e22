# The two commands of the README, and the benchmarks. All install what is
# missing first.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: run test build bench deps clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-demo.sh $(BUILD)

test: build
	bash scripts/run-tests.sh $(BUILD)

# Every benchmark, each figure beside its peer from the same run (bench/README.md).
bench: build
	bash bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD)
