// Apache POI's binary PowerPoint extractor over the same files in one JVM: a first pass to
// warm it up, then timed passes. Prints the best pass in seconds and the file counts.

import java.io.File;
import java.io.OutputStream;
import java.io.PrintStream;
import org.apache.poi.hslf.extractor.PowerPointExtractor;

public class PoiPptText {
    static int read, failed;
    static long chars;

    static void pass(String[] files) {
        read = 0;
        failed = 0;
        chars = 0;
        for (String name : files) {
            try (PowerPointExtractor extractor = new PowerPointExtractor(name)) {
                chars += extractor.getText().length();
                read++;
            } catch (Throwable error) {
                failed++;
            }
        }
    }

    public static void main(String[] args) {
        int passes = Integer.parseInt(args[0]);
        String[] files = java.util.Arrays.copyOfRange(args, 1, args.length);
        // POI logs to standard error for damaged files; keep the measurement's output clean.
        System.setErr(new PrintStream(OutputStream.nullOutputStream()));
        for (int i = 0; i < 3; i++) pass(files);
        double best = Double.MAX_VALUE;
        for (int i = 0; i < passes; i++) {
            long start = System.nanoTime();
            pass(files);
            best = Math.min(best, (System.nanoTime() - start) / 1e9);
        }
        System.out.printf("%.6f %d %d %d%n", best, read, failed, chars);
    }
}
