import com.halvory.mirelant.dx.launch.ExeArchiver;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.HashSet;
import java.util.List;
import java.util.stream.Stream;
import java.util.zip.DataFormatException;
import java.util.zip.Inflater;

/**
 * Drives the builder library through ExeArchiver in a real JVM, one case per
 * run: the entry table only grows for as long as the library is loaded, so
 * every case starts in a fresh JVM with an empty table. Prints
 * "case NAME passed" and exits 0, or prints the failure and exits 1.
 */
public final class BuilderJniDriver {
    static final int OK = 1002;
    static final int COPY_STUB_FAILED = 1003;
    static final int NO_ENTRIES = 1004;
    static final int JAVA_STRING = -1;
    static final String MARKER = "#HMRE_SFX#";
    static final String VERSION = "1.00";

    public static void main(String[] args) throws IOException {
        if (args.length != 1) {
            System.out.println("usage: BuilderJniDriver CASE");
            System.exit(2);
        }
        Path work = Files.createTempDirectory("builder-jni").toRealPath();
        int status = 0;
        try {
            BuilderJniDriver driver = new BuilderJniDriver(work);
            switch (args[0]) {
                case "empty": driver.emptyTable(); break;
                case "shares": driver.shares(); break;
                case "many": driver.many(); break;
                case "vanished": driver.vanishedSource(); break;
                case "folder": driver.folderNames(); break;
                case "long-strings": driver.longStrings(); break;
                case "throwing": driver.throwingProgress(); break;
                default: throw new IllegalArgumentException("no case " + args[0]);
            }
            System.out.println("case " + args[0] + " passed");
        } catch (Throwable failure) {
            failure.printStackTrace(System.out);
            status = 1;
        } finally {
            deleteTree(work);
        }
        System.exit(status);
    }

    final ExeArchiver archiver = new ExeArchiver();
    final Path work;
    final Path stub;
    final byte[] stubBytes;

    BuilderJniDriver(Path work) throws IOException {
        this.work = work;
        stubBytes = "MZ stub program of the test\n".getBytes(StandardCharsets.US_ASCII);
        stub = work.resolve("stub.exe");
        Files.write(stub, stubBytes);
    }

    // --- Cases ----------------------------------------------------------------

    void emptyTable() throws IOException {
        Run run = create(work.resolve("out.exe"));
        check(run.result == NO_ENTRIES, "empty table gives " + run.result);
        check(run.progress.isEmpty(), "empty table made updateProgress calls " + run.progress);
        check(!Files.exists(run.output), "empty table wrote the output");
    }

    /** Shares of 1, 3 and 4 files; a second run without adds starts afresh. */
    void shares() throws IOException {
        List<Source> table = new ArrayList<>();
        int[] sizes = {9000, 0, 20000, 300};
        int[][] steps = {{0, 1}, {1, 3}, {3, 4}, {4, 4}};
        for (int[] step : steps) {
            for (int i = step[0]; i < step[1]; ++i) {
                Source source = source("share/file" + i + ".dat", sizes[i], i);
                archiver.addFile(source.path.toString(), work.resolve("share").toString());
                table.add(source);
            }
            Run run = create(work.resolve("out" + step[1] + "-" + step[0] + ".exe"));
            check(run.result == OK, "result " + run.result);
            check(run.progress.equals(expectedShares(table.size())),
                  table.size() + " files gave " + run.progress);
            expectProgram(run, table);
        }
    }

    /** More files than the local references a native may hold without asking. */
    void many() throws IOException {
        List<Source> table = new ArrayList<>();
        for (int i = 0; i < 40; ++i) {
            Source source = source("many/f" + i + ".txt", 100 + i, i);
            archiver.addFile(source.path.toString(), work.resolve("many").toString());
            table.add(source);
        }
        Run run = create(work.resolve("out.exe"));
        check(run.result == OK, "result " + run.result);
        check(run.progress.equals(expectedShares(40)), "40 files gave " + run.progress);
        expectProgram(run, table);
    }

    void vanishedSource() throws IOException {
        for (int i = 0; i < 3; ++i) {
            Source source = source("gone/f" + i, 5000, i);
            archiver.addFile(source.path.toString(), work.resolve("gone").toString());
        }
        Files.delete(work.resolve("gone/f1"));
        Run run = create(work.resolve("out.exe"));
        check(run.result != OK, "a run with a vanished source reported success");
        check(run.progress.equals(List.of(33)), "progress " + run.progress);
    }

    /** addFolder names entries as addFile does with that folder as base. */
    void folderNames() throws IOException {
        Path content = work.resolve("content");
        List<Source> files = List.of(
            source("content/readme.txt", 700, 1),
            source("content/img/logo.gif", 5000, 2),
            source("content/img/icons/a.png", 0, 3));
        Files.createDirectories(content.resolve("empty"));

        archiver.addFolder(content.toString());
        Run walked = create(work.resolve("walked.exe"));
        check(walked.result == OK, "result " + walked.result);
        List<Entry> entries = readProgram(walked.output);
        check(entries.size() == files.size(), entries.size() + " entries");
        HashSet<String> names = new HashSet<>();
        for (Entry entry : entries) names.add(entry.name);
        check(names.equals(new HashSet<>(List.of(
                  "readme.txt", "img\\logo.gif", "img\\icons\\a.png"))),
              "names " + names);

        // The same files by addFile, in the walk's order: the same names.
        List<Source> table = new ArrayList<>();
        for (Entry entry : entries) {
            Source source = new Source(content.resolve(entry.name.replace('\\', '/')), null);
            source.bytes = Files.readAllBytes(source.path);
            table.add(source);
            archiver.addFile(source.path.toString(), content.toString());
        }
        List<Source> both = new ArrayList<>(table);
        both.addAll(table);
        Run added = create(work.resolve("added.exe"));
        check(added.result == OK, "result " + added.result);
        List<Entry> all = expectProgram(added, both);
        for (int i = 0; i < entries.size(); ++i) {
            check(all.get(i + entries.size()).name.equals(entries.get(i).name),
                  "addFile stored " + all.get(i + entries.size()).name +
                  " where addFolder stored " + entries.get(i).name);
        }
    }

    /** 255 bytes of 8-bit UTF text pass unchanged, 256 bytes are refused. */
    void longStrings() throws IOException {
        Path base = work.resolve("long");
        Files.createDirectories(base);
        String path255 = pathOfLength(base, 255, 'f');
        Source file255 = source(work.relativize(Path.of(path255)).toString(), 3000, 7);
        Source file256 = source(work.relativize(Path.of(path255 + "x")).toString(), 10, 8);
        check(file256.path.toString().length() == 256, "fixture path length");
        String folder255 = pathOfLength(base, 255, 'g');
        String folder256 = folder255 + "y";
        Files.createDirectories(Path.of(folder255));
        Files.createDirectories(Path.of(folder256));
        Source inFolder255 = source(work.relativize(Path.of(folder255, "in.txt")).toString(), 50, 9);
        source(work.relativize(Path.of(folder256, "in.txt")).toString(), 50, 10);
        String base256 = base + "/" + "b".repeat(255 - base.toString().length());

        archiver.addFile(file255.path.toString(), base.toString());
        archiver.addFile(file256.path.toString(), base.toString());
        archiver.addFile(file255.path.toString(), base256);
        archiver.addFolder(folder256);
        archiver.addFolder(folder255);

        Path output = work.resolve("out.exe");
        // The stub paths do not exist: a stub path that got through fails
        // the copy instead.
        String stub255 = pathOfLength(base, 255, 's');
        String stub256 = stub255 + "z";
        String[][] refused = {
            {stub256, output.toString()},
            {stub.toString(), pathOfLength(work, 256, 'o')},
            // 127 two-byte characters between two ASCII ones: 129 characters,
            // 256 bytes.
            {"/" + "\u00e9".repeat(127) + "z", output.toString()},
        };
        for (String[] arguments : refused) {
            int result = archiver.createArchive(arguments[0], arguments[1]);
            check(result == JAVA_STRING, "createArchive(" + arguments[0].length() + ", " +
                  arguments[1].length() + " chars) gave " + result);
        }
        check(archiver.progress.isEmpty(), "refused runs made updateProgress calls");
        check(Stream.of(output, Path.of(pathOfLength(work, 256, 'o'))).noneMatch(Files::exists),
              "a refused run wrote its output");
        check(archiver.createArchive(stub255, output.toString()) == COPY_STUB_FAILED,
              "a 255-byte stub path did not reach the copy");

        String output255 = pathOfLength(work, 255, 'o');
        Run run = createAt(output255);
        check(run.result == OK, "a 255-byte output path gave " + run.result);
        List<Entry> entries = expectProgram(run, List.of(file255, inFolder255));
        check(entries.get(0).name.equals(
                  file255.path.toString().substring(base.toString().length() + 1)
                      .replace('/', '\\')),
              "name " + entries.get(0).name);
        check(entries.get(1).name.equals("in.txt"), "name " + entries.get(1).name);
    }

    /**
     * A throwing updateProgress ends the calls of that run and cancels the
     * write: the file whose start it was told of is not compressed, and the
     * output keeps the stub and the streams before it, without a trailer.
     */
    void throwingProgress() throws IOException {
        List<Source> table = new ArrayList<>();
        for (int i = 0; i < 3; ++i) {
            Source source = source("throw/f" + i, 6000, i);
            archiver.addFile(source.path.toString(), work.resolve("throw").toString());
            table.add(source);
        }
        int[][] runs = {{1, 33}, {2, 33, 66}};
        List<Path> cancelled = new ArrayList<>();
        for (int[] expected : runs) {
            archiver.throwAt = archiver.progress.size() + expected[0];
            int from = archiver.progress.size();
            Path output = work.resolve("thrown" + expected[0] + ".exe");
            try {
                archiver.createArchive(stub.toString(), output.toString());
                throw new AssertionError("the exception of updateProgress did not arrive");
            } catch (IllegalStateException expectedException) {
                // The Java caller sees the exception when createArchive returns.
            }
            List<Integer> got = archiver.progress.subList(from, archiver.progress.size());
            check(got.equals(Arrays.stream(expected, 1, expected.length).boxed().toList()),
                  "progress " + got);
            cancelled.add(output);
        }
        archiver.throwAt = 0;
        Run run = create(work.resolve("out.exe"));
        check(run.result == OK && run.progress.equals(List.of(33, 66, 100)),
              "after the throwing runs: " + run.result + " " + run.progress);
        List<Entry> entries = expectProgram(run, table);

        byte[] complete = Files.readAllBytes(run.output);
        for (int i = 0; i < runs.length; ++i) {
            int streamsWritten = runs[i][0] - 1;
            byte[] expected = Arrays.copyOf(complete, (int) entries.get(streamsWritten).dataOffset);
            check(Arrays.equals(Files.readAllBytes(cancelled.get(i)), expected),
                  "the run cancelled at file " + runs[i][0] + " left more than the stub and "
                      + streamsWritten + " streams");
        }
    }

    // --- Helpers ----------------------------------------------------------------

    static final class Source {
        final Path path;
        byte[] bytes;
        Source(Path path, byte[] bytes) { this.path = path; this.bytes = bytes; }
    }

    static final class Entry {
        String name;
        long dataOffset, size, compressedSize;
        byte[] data;
    }

    static final class Run {
        final int result;
        final List<Integer> progress;
        final List<Long> outputSizeAtProgress;
        final Path output;
        Run(int result, List<Integer> progress, List<Long> sizes, Path output) {
            this.result = result;
            this.progress = progress;
            this.outputSizeAtProgress = sizes;
            this.output = output;
        }
    }

    /** A file below the work folder with compressible, varied content. */
    Source source(String relative, int size, int seed) throws IOException {
        Path path = work.resolve(relative);
        Files.createDirectories(path.getParent());
        byte[] bytes = new byte[size];
        for (int i = 0; i < size; ++i) bytes[i] = (byte) ((i * (seed + 3)) % 61 + (i / 97) % 7);
        Files.write(path, bytes);
        return new Source(path, bytes);
    }

    Run create(Path output) { return createAt(output.toString()); }

    Run createAt(String output) {
        Path outputPath = Path.of(output);
        List<Long> sizes = new ArrayList<>();
        archiver.onProgress = percent -> {
            try {
                sizes.add(Files.size(outputPath));
            } catch (IOException e) {
                sizes.add(-1L);
            }
        };
        int from = archiver.progress.size();
        int result = archiver.createArchive(stub.toString(), output);
        archiver.onProgress = percent -> {};
        return new Run(result, new ArrayList<>(archiver.progress.subList(from, archiver.progress.size())),
                       sizes, outputPath);
    }

    static List<Integer> expectedShares(int files) {
        List<Integer> shares = new ArrayList<>();
        for (int i = 1; i <= files; ++i) shares.add(i * 100 / files);
        return shares;
    }

    /**
     * The program is the stub followed by one stream per source in order and
     * the trailer; each updateProgress call came before its file's data.
     */
    List<Entry> expectProgram(Run run, List<Source> table) throws IOException {
        List<Entry> entries = readProgram(run.output);
        check(entries.size() == table.size(), entries.size() + " entries for " + table.size());
        long next = stubBytes.length;
        for (int i = 0; i < entries.size(); ++i) {
            Entry entry = entries.get(i);
            check(entry.dataOffset == next, "entry " + i + " at " + entry.dataOffset);
            check(Arrays.equals(entry.data, table.get(i).bytes), "content of entry " + i);
            next += entry.compressedSize;
            if (i < run.outputSizeAtProgress.size()) {
                check(run.outputSizeAtProgress.get(i) == entry.dataOffset,
                      "output held " + run.outputSizeAtProgress.get(i) +
                      " bytes when entry " + i + " started at " + entry.dataOffset);
            }
        }
        return entries;
    }

    /** Walks the trailer back from the marker and inflates every entry. */
    List<Entry> readProgram(Path program) throws IOException {
        byte[] bytes = Files.readAllBytes(program);
        check(Arrays.equals(Arrays.copyOf(bytes, stubBytes.length), stubBytes), "stub copy");
        int end = bytes.length;
        check(new String(bytes, end - 10, 10, StandardCharsets.ISO_8859_1).equals(MARKER), "marker");
        check(new String(bytes, end - 14, 4, StandardCharsets.ISO_8859_1).equals(VERSION), "version");
        int count = (int) u32(bytes, end - 18);
        Entry[] entries = new Entry[count];
        int at = end - 18;
        for (int i = count - 1; i >= 0; --i) {
            Entry entry = new Entry();
            int nameLength = (int) u32(bytes, at - 4);
            at -= 4 + nameLength;
            entry.name = new String(bytes, at, nameLength, StandardCharsets.ISO_8859_1);
            entry.compressedSize = u32(bytes, at - 4);
            entry.size = u32(bytes, at - 8);
            entry.dataOffset = u32(bytes, at - 12);
            at -= 12;
            entry.data = inflate(bytes, (int) entry.dataOffset, (int) entry.compressedSize);
            check(entry.data.length == entry.size, "size of " + entry.name);
            entries[i] = entry;
        }
        return List.of(entries);
    }

    static byte[] inflate(byte[] bytes, int offset, int length) {
        Inflater inflater = new Inflater();
        try {
            inflater.setInput(bytes, offset, length);
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[4096];
            while (!inflater.finished()) {
                int got = inflater.inflate(buffer);
                if (got == 0 && !inflater.finished()
                    && (inflater.needsInput() || inflater.needsDictionary())) {
                    throw new AssertionError("stream at " + offset + " is cut short");
                }
                out.write(buffer, 0, got);
            }
            check(inflater.getRemaining() == 0, "stream at " + offset + " is shorter than recorded");
            return out.toByteArray();
        } catch (DataFormatException e) {
            throw new AssertionError("stream at " + offset + ": " + e.getMessage());
        } finally {
            inflater.end();
        }
    }

    static long u32(byte[] bytes, int at) {
        return (bytes[at] & 0xFFL) | (bytes[at + 1] & 0xFFL) << 8 | (bytes[at + 2] & 0xFFL) << 16
            | (bytes[at + 3] & 0xFFL) << 24;
    }

    /**
     * A path below `dir` of exactly `length` bytes (ASCII) whose last
     * component is made of `last`; the folders above it are made.
     */
    static String pathOfLength(Path dir, int length, char last) throws IOException {
        StringBuilder path = new StringBuilder(dir.toString());
        char letter = 'a';
        // Components of at most 100 bytes; the last one is at least 1 byte.
        while (length - path.length() > 101) {
            path.append('/').append(String.valueOf(letter++).repeat(100));
        }
        Files.createDirectories(Path.of(path.toString()));
        int rest = length - path.length() - 1;
        check(rest >= 1, "no room for a path of " + length + " bytes below " + dir);
        return path.append('/').append(String.valueOf(last).repeat(rest)).toString();
    }

    static void check(boolean condition, String what) {
        if (!condition) throw new AssertionError(what);
    }

    static void deleteTree(Path root) throws IOException {
        try (Stream<Path> paths = Files.walk(root)) {
            for (Path path : paths.sorted(Comparator.reverseOrder()).toList()) Files.delete(path);
        }
    }
}
